// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <optional>

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

// The file-provider system in memory, with the failures of the real one at hand. Calls are
// made on the main thread; every answer comes later, on a later turn of the event loop or, when
// asked, from a worker thread, as the system's completions do. Managers must not outlive it.
class InMemoryFileProviderSystem final : public QObject, public FileProviderSystem {
    Q_OBJECT

public:
    enum class Answering { nextTurn, otherThread };

    explicit InMemoryFileProviderSystem(QList<FileProviderDomain> registered = {});

    // --- How it behaves ---
    void setAnswering(Answering answering) { m_answering = answering; }
    // Every call fails with `error` (the daemon is gone); managers are never found.
    void setUnavailable(std::optional<FileProviderError> error) { m_unavailable = error; }
    void failDomainList(std::optional<FileProviderError> error) { m_listFailure = error; }
    // The next add, or the removal of the given domain, fails.
    void failAdd(std::optional<FileProviderError> error) { m_addFailure = error; }
    void failRemoval(QString identifier, FileProviderError error);
    void failSignals(std::optional<FileProviderError> error) { m_signalFailure = error; }
    // Off: stabilisation waits are held until completeStabilizations().
    void setStabilizing(bool stabilizing) { m_stabilizing = stabilizing; }
    // Stabilisation waits end with this error.
    void failStabilizations(std::optional<FileProviderError> error)
    {
        m_stabilizationFailure = error;
    }
    void completeStabilizations(std::optional<FileProviderError> error = {});
    void setUserVisibleFolder(std::optional<QString> folder) { m_folder = folder; }
    // The user flips a domain's switch in the desktop's settings.
    void switchDomain(const QString &identifier, bool enabled);
    SettableProgress &progress(FileProviderTransferKind kind);

    // --- What was asked of it ---
    const QList<FileProviderDomain> &registered() const { return m_registered; }
    // "domains", "add ID", "remove ID", "manager ID", "signal ID", "stabilize ID", "folder ID",
    // "enable ID" / "disable ID", in the order made.
    const QStringList &calls() const { return m_calls; }
    int signalCount() const;
    qsizetype heldStabilizations() const { return m_heldStabilizations.size(); }

    void domains(std::function<void(QList<FileProviderDomain>, std::optional<FileProviderError>)>
                     completion) override;
    void addDomain(FileProviderDomain domain, FileProviderCompletion completion) override;
    void removeDomain(FileProviderDomain domain, FileProviderCompletion completion) override;
    void manager(QString identifier,
                 std::function<void(std::shared_ptr<FileProviderManager>)> completion) override;
    void setUserEnabled(QString identifier, bool enabled,
                        FileProviderCompletion completion) override;

signals:
    // The working set of a domain was signalled (emitted when the call is made).
    void signalled(const QString &identifier);

private:
    class Manager;
    void answer(std::function<void()> completion);
    void record(const QString &call, const QString &identifier);
    qsizetype indexOf(const QString &identifier) const;

    Answering m_answering = Answering::nextTurn;
    QList<FileProviderDomain> m_registered;
    QStringList m_calls;
    std::optional<FileProviderError> m_unavailable;
    std::optional<FileProviderError> m_listFailure;
    std::optional<FileProviderError> m_addFailure;
    QList<std::pair<QString, FileProviderError>> m_removalFailures;
    std::optional<FileProviderError> m_signalFailure;
    bool m_stabilizing = true;
    std::optional<FileProviderError> m_stabilizationFailure;
    QList<FileProviderCompletion> m_heldStabilizations;
    std::optional<QString> m_folder;
    std::shared_ptr<SettableProgress> m_upload = std::make_shared<SettableProgress>();
    std::shared_ptr<SettableProgress> m_download = std::make_shared<SettableProgress>();
};

} // namespace OrvelanNimbal::Testing
