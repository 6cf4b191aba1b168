// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"

#include <QHash>
#include <QStringList>

#include <memory>

namespace OrvelanNimbal {
class Wakeup;
}

namespace OrvelanNimbal::Testing {

// The file-provider system in memory, with the real one's failures at hand. A call takes effect
// at once and answers on a later turn of the event loop, as the extension's answers arrive.
class InMemoryFileProviderSystem final : public FileProviderSystem {
    Q_OBJECT

public:
    explicit InMemoryFileProviderSystem(QList<FileProviderDomain> registered = {});
    ~InMemoryFileProviderSystem() override;

    // --- How it behaves ---
    // Calls are named as calls() records them: "domains", "add ID", "remove ID", "signal ID",
    // "stabilize ID", "enable ID", "folder ID", "progress ID", "pause ID", "resume ID",
    // "pause-state ID"; a verb alone fails it for every domain, "*" fails every call. Nothing
    // clears a failure.
    void fail(const QString &call, const QString &message);
    // Off: stabilisation waits are held until completeStabilizations().
    void setStabilizing(bool stabilizing) { m_stabilizing = stabilizing; }
    void completeStabilizations();
    void setUserVisibleFolder(std::optional<QString> folder) { m_folder = std::move(folder); }
    // A domain registered before the test, by an earlier run: not recorded as a call.
    void registerDomain(const FileProviderDomain &domain) { m_registered.append(domain); }
    // The user flips a domain's switch in the desktop's settings.
    void switchDomain(const QString &identifier, bool enabled);
    // What the system says of every domain's transfers of one kind from now on.
    void setProgress(FileProviderTransferKind kind, FileProviderProgress progress);
    // A domain's pause changes outside the application (a terminal, or its end came); told as
    // the system tells it.
    void setPause(const QString &identifier, FileProviderPause pause);

    // --- What was asked of it ---
    const QList<FileProviderDomain> &registered() const { return m_registered; }
    const QStringList &calls() const { return m_calls; }
    int signalCount() const { return int(m_calls.filter(QStringLiteral("signal ")).size()); }
    qsizetype heldStabilizations() const { return m_held.size(); }

    QCoro::Task<QList<FileProviderDomain>> domains(CancellationToken cancel) override;
    QCoro::Task<> addDomain(FileProviderDomain domain, CancellationToken cancel) override;
    QCoro::Task<> removeDomain(QString identifier, CancellationToken cancel) override;
    QCoro::Task<> setUserEnabled(QString identifier, bool enabled,
                                 CancellationToken cancel) override;
    QCoro::Task<> signalWorkingSet(QString identifier, CancellationToken cancel) override;
    QCoro::Task<> waitForStabilization(QString identifier, CancellationToken cancel) override;
    QCoro::Task<QString> userVisibleFolder(QString identifier, CancellationToken cancel) override;
    QCoro::Task<FileProviderProgress> progress(QString identifier, FileProviderTransferKind kind,
                                               CancellationToken cancel) override;
    QCoro::Task<> setPaused(QString identifier, bool paused, CancellationToken cancel) override;
    QCoro::Task<FileProviderPause> pause(QString identifier, CancellationToken cancel) override;

private:
    // Records the call and gives its failure, if any.
    std::optional<FileProviderError> call(const QString &verb, const QString &identifier = {});
    // Waits for a later turn of the event loop, then throws `error` if there is one.
    static QCoro::Task<> answer(std::optional<FileProviderError> error, CancellationToken cancel);
    qsizetype indexOf(const QString &identifier) const;

    QList<FileProviderDomain> m_registered;
    QStringList m_calls;
    QHash<QString, QString> m_failures;
    bool m_stabilizing = true;
    QList<std::shared_ptr<Wakeup>> m_held;
    std::optional<QString> m_folder;
    FileProviderProgress m_upload;
    FileProviderProgress m_download;
    QHash<QString, FileProviderPause> m_pauses;
};

} // namespace OrvelanNimbal::Testing
