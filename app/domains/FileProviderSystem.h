// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "sync/FileProviderDomain.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// What the application needs of the system that shows the drive as a folder: the domains it
// knows, and for one domain a re-read of the drive, word when it has caught up, its folder, how
// its transfers are going and its pause.
//
// Every call is a coroutine that resumes on the thread that made it (the main thread). A refusal
// of the system is thrown as FileProviderFailure; a wait whose token fires ends with
// OperationCancelled, even when the system's answer is on its way. On this desktop the system is
// the `nimbal-fileprovider` daemon on the session bus; tests use an in-memory system.
namespace OrvelanNimbal {

// A refusal of the system: `name` is machine-readable (a D-Bus error name on this desktop),
// `message` is French and may be shown or logged as it is.
struct FileProviderError {
    QString name;
    QString message;
};

// How far one kind of transfer over a whole domain has come, as the system last said.
struct FileProviderProgress {
    bool finished = true;
    qint64 totalUnitCount = 0;
    qint64 completedUnitCount = 0;
    double fractionCompleted = 0;

    friend bool operator==(const FileProviderProgress &, const FileProviderProgress &) = default;
};

enum class FileProviderTransferKind { upload, download };

// A domain's pause: while paused nothing is sent or received; `until` is its end, nothing for a
// pause that lasts until the user resumes.
struct FileProviderPause {
    bool paused = false;
    std::optional<QDateTime> until;

    friend bool operator==(const FileProviderPause &, const FileProviderPause &) = default;
};

class FileProviderSystem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The domains registered for the application, in the system's order.
    virtual QCoro::Task<QList<FileProviderDomain>> domains(CancellationToken cancel) = 0;
    virtual QCoro::Task<> addDomain(FileProviderDomain domain, CancellationToken cancel) = 0;
    virtual QCoro::Task<> removeDomain(QString identifier, CancellationToken cancel) = 0;
    // Turns the user's switch of a domain on or off (the user's own consent, from the panel).
    virtual QCoro::Task<> setUserEnabled(QString identifier, bool enabled,
                                         CancellationToken cancel) = 0;
    // Asks the system to re-read the domain's working set; completes once it accepted.
    virtual QCoro::Task<> signalWorkingSet(QString identifier, CancellationToken cancel) = 0;
    // Completes when nothing is left to do for the domain. May never complete: callers bound it
    // with their token.
    virtual QCoro::Task<> waitForStabilization(QString identifier, CancellationToken cancel) = 0;
    // The folder the file manager shows for the domain's root, as a local path.
    virtual QCoro::Task<QString> userVisibleFolder(QString identifier, CancellationToken cancel) = 0;
    // The domain's transfers of one kind. Asked once; afterwards the system's own notices keep
    // the answer current, and reading it costs no call.
    virtual QCoro::Task<FileProviderProgress>
    progress(QString identifier, FileProviderTransferKind kind, CancellationToken cancel) = 0;
    // Stops all sending and receiving of the domain until it is resumed (changes on both sides
    // wait for the end), or resumes it; completes once its work has stopped or started again.
    virtual QCoro::Task<> setPaused(QString identifier, bool paused, CancellationToken cancel) = 0;
    // The domain's pause. Asked once; afterwards the system's own notices keep the answer
    // current, and pauseChanged tells of each change.
    virtual QCoro::Task<FileProviderPause> pause(QString identifier, CancellationToken cancel) = 0;

signals:
    // A domain's pause changed: from here, from elsewhere (a terminal), or its end came.
    void pauseChanged(const QString &identifier, const OrvelanNimbal::FileProviderPause &pause);
};

} // namespace OrvelanNimbal
