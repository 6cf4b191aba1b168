// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// What the application needs of the system that shows the drive as a folder: the domains it
// knows, and for one domain a manager that re-reads the drive, reports when it has caught up,
// names the folder and tells how transfers are going.
//
// The calls mirror a system framework: each answers once through a completion, possibly on
// another thread, possibly after the caller stopped caring. `DomainController` turns them into
// waits. On this desktop the system is the `nimbal-fileprovider` daemon on the session bus;
// tests use an in-memory system.
namespace OrvelanNimbal {

struct FileProviderDomain {
    QString identifier;
    QString displayName;
    // The user's own switch for this domain; a switched-off domain shows nothing.
    bool userEnabled = true;

    friend bool operator==(const FileProviderDomain &, const FileProviderDomain &) = default;
};

// A refusal of the system: `name` is machine-readable (a D-Bus error name on this desktop),
// `message` is French and may be shown or logged as it is.
struct FileProviderError {
    QString name;
    QString message;
};

using FileProviderCompletion = std::function<void(std::optional<FileProviderError>)>;

// A live view of one kind of transfer over the whole domain. Reads may come from any thread and
// always give the latest values the system reported.
class FileProviderProgress {
public:
    virtual ~FileProviderProgress() = default;
    virtual bool isFinished() const = 0;
    virtual qint64 totalUnitCount() const = 0;
    virtual qint64 completedUnitCount() const = 0;
    virtual double fractionCompleted() const = 0;
};

enum class FileProviderTransferKind { upload, download };

// A domain's pause: while paused nothing is sent or received; `until` is its end, nothing for a
// pause until the user resumes.
struct FileProviderPause {
    bool paused = false;
    std::optional<QDateTime> until;

    friend bool operator==(const FileProviderPause &, const FileProviderPause &) = default;
};

// The system's handle on one registered domain.
class FileProviderManager {
public:
    virtual ~FileProviderManager() = default;

    // Asks the system to re-read the drive's working set; completes once the request is accepted.
    virtual void signalWorkingSet(FileProviderCompletion completion) = 0;
    // Completes when nothing is left to do for the domain. May never complete: callers bound it.
    virtual void waitForStabilization(FileProviderCompletion completion) = 0;
    // The folder the file manager shows for the domain's root, as a local path.
    virtual void userVisibleFolder(
        std::function<void(std::optional<QString>, std::optional<FileProviderError>)>
            completion) = 0;
    // The domain's transfers of one kind; the same live object for the manager's lifetime.
    virtual std::shared_ptr<FileProviderProgress> globalProgress(FileProviderTransferKind kind) = 0;
    virtual void pauseState(
        std::function<void(FileProviderPause, std::optional<FileProviderError>)> completion) = 0;
    // Pauses until resumed, or resumes; completes once the domain's work has stopped or started.
    virtual void setPaused(bool paused, FileProviderCompletion completion) = 0;
};

class FileProviderSystem {
public:
    virtual ~FileProviderSystem() = default;

    // The domains registered for the application, in the system's order.
    virtual void domains(
        std::function<void(QList<FileProviderDomain>, std::optional<FileProviderError>)>
            completion) = 0;
    virtual void addDomain(FileProviderDomain domain, FileProviderCompletion completion) = 0;
    virtual void removeDomain(FileProviderDomain domain, FileProviderCompletion completion) = 0;
    // A manager for the domain with this identifier; null when the system has no such domain.
    virtual void manager(QString identifier,
                         std::function<void(std::shared_ptr<FileProviderManager>)> completion) = 0;
    // Turns the user's switch of a domain on or off (the user's own consent, from the panel).
    virtual void setUserEnabled(QString identifier, bool enabled,
                                FileProviderCompletion completion) = 0;
};

} // namespace OrvelanNimbal
