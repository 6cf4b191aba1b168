// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"

#include <QHash>
#include <QStringList>

#include <atomic>

namespace OrvelanNimbal::Testing {

// A transfer's progress as the test sets it; readable from any thread, like the system's.
class SettableProgress final : public FileProviderProgress {
public:
    void set(bool finished, qint64 total, double fraction)
    {
        m_finished = finished;
        m_total = total;
        m_fraction = fraction;
    }
    bool isFinished() const override { return m_finished; }
    qint64 totalUnitCount() const override { return m_total; }
    qint64 completedUnitCount() const override { return qint64(double(m_total) * m_fraction); }
    double fractionCompleted() const override { return m_fraction; }

private:
    std::atomic<bool> m_finished = true;
    std::atomic<qint64> m_total = 0;
    std::atomic<double> m_fraction = 0.0;
};

// The file-provider system in memory, with the real one's failures at hand. Calls are made on
// the main thread; every answer comes later, on a later turn of the event loop or, when asked,
// from a worker thread, as the system's completions do. Managers must not outlive it.
class InMemoryFileProviderSystem final : public FileProviderSystem {
public:
    explicit InMemoryFileProviderSystem(QList<FileProviderDomain> registered = {});

    // --- How it behaves ---
    void answerFromWorkers(bool fromWorkers) { m_fromWorkers = fromWorkers; }
    // Calls are named as calls() records them: "domains", "add ID", "remove ID", "manager ID"
    // (failing: no manager), "signal ID", "stabilize ID", "enable ID", "pause ID", "resume ID";
    // a verb alone fails it for every domain, "*" fails every call. Nothing clears a failure.
    void fail(const QString &call, const QString &message);
    // Off: stabilisation waits are held until completeStabilizations().
    void setStabilizing(bool stabilizing) { m_stabilizing = stabilizing; }
    void completeStabilizations();
    void setUserVisibleFolder(std::optional<QString> folder) { m_folder = std::move(folder); }
    // The user flips a domain's switch in the desktop's settings.
    void switchDomain(const QString &identifier, bool enabled);
    SettableProgress &progress(FileProviderTransferKind kind);
    // The pause as the system reports it (set from elsewhere: a terminal, or its end).
    void setPause(FileProviderPause pause) { m_pause = std::move(pause); }

    // --- What was asked of it ---
    const QList<FileProviderDomain> &registered() const { return m_registered; }
    const QStringList &calls() const { return m_calls; }
    int signalCount() const { return int(m_calls.filter(QStringLiteral("signal ")).size()); }
    qsizetype heldStabilizations() const { return m_held.size(); }

    void domains(std::function<void(QList<FileProviderDomain>, std::optional<FileProviderError>)>
                     completion) override;
    void addDomain(FileProviderDomain domain, FileProviderCompletion completion) override;
    void removeDomain(FileProviderDomain domain, FileProviderCompletion completion) override;
    void manager(QString identifier,
                 std::function<void(std::shared_ptr<FileProviderManager>)> completion) override;
    void setUserEnabled(QString identifier, bool enabled,
                        FileProviderCompletion completion) override;

private:
    class Manager;
    // Records the call and gives its failure, if any.
    std::optional<FileProviderError> call(const QString &verb, const QString &identifier = {});
    void answer(std::function<void()> completion);
    void answer(const FileProviderCompletion &completion, std::optional<FileProviderError> error);
    qsizetype indexOf(const QString &identifier) const;

    bool m_fromWorkers = false;
    QList<FileProviderDomain> m_registered;
    QStringList m_calls;
    QHash<QString, QString> m_failures;
    bool m_stabilizing = true;
    QList<FileProviderCompletion> m_held;
    std::optional<QString> m_folder;
    FileProviderPause m_pause;
    std::shared_ptr<SettableProgress> m_upload = std::make_shared<SettableProgress>();
    std::shared_ptr<SettableProgress> m_download = std::make_shared<SettableProgress>();
};

} // namespace OrvelanNimbal::Testing
