// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "daemon/DomainRegistry.h"
#include "daemon/ExtensionError.h"
#include "config/ServiceEndpoints.h"
#include "disk/FolderWatcher.h"
#include "domain/ReportThrottle.h"
#include "engine/SyncEngine.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace OrvelanNimbal {
class ApiClient;
}

namespace OrvelanNimbal::FileProvider {

// One domain at work: its folder, its journal, a client signed in with the session the
// application stored, and the engine's passes. A signal asks for a pass; signals that come while
// one runs make exactly one more. A pass that could not read the service is tried again after a
// growing wait, and so is a file that failed, on its own schedule.
class DomainHost : public QObject {
    Q_OBJECT

public:
    DomainHost(DomainRecord record, ServiceEndpoints endpoints, QObject *parent = nullptr);
    ~DomainHost() override;

    const DomainRecord &record() const { return m_record; }
    void setRecord(const DomainRecord &record) { m_record = record; }
    // ~/Nimbal/<identifier>
    QString folder() const;
    static QString folderFor(const QString &identifier);
    // The journal in the shared container.
    static QString journalFile(const QString &identifier);

    // Creates a domain's folder and its marker when they are missing (a domain being added).
    // Throws FileError.
    static void prepareFolder(const QString &identifier);
    // Starts the first pass: the one that catches up after a restart.
    void start();
    // Cancels what runs and completes once nothing of this domain runs any more.
    QCoro::Task<> stop();
    // Removes the folder (keeping unsent work beside it), the journal and the reports, once no
    // host keeps the domain any more.
    QCoro::Task<> removeEverything();

    // A pass over what the watcher saw change (the whole folder when it cannot tell).
    void requestPass();
    // A pass over the whole folder, whatever the watcher says.
    void requestWholePass();
    // Completes when the domain has nothing left to do now: no pass running or asked for. A
    // folder that is missing answers with its error; a service that does not answer keeps the
    // caller waiting, as there is still work to do.
    void whenStable(std::function<void(std::optional<ExtensionError>)> done);

    TransferProgress::Snapshot downloadProgress() const;
    TransferProgress::Snapshot uploadProgress() const;
    // The files being sent now (see SyncEngine::sendingPaths); none before the first pass.
    QSet<QString> sendingPaths() const;

signals:
    // A pass ended with nothing left to do.
    void synchronised();
    // The downloads moved on; at most every tenth of a second while they run.
    void downloadProgressChanged();
    // The same for the uploads.
    void uploadProgressChanged();

private:
    QCoro::Task<> runPasses();
    void openEngine();
    QCoro::Task<> ensureSession();
    void settleWaiters();
    void scheduleRetry(std::chrono::milliseconds wait);
    void watchFolder();
    QCoro::Task<> writeItemStore();

    DomainRecord m_record;
    ServiceEndpoints m_endpoints;
    std::shared_ptr<ApiClient> m_client;
    std::shared_ptr<ApiClient> m_contentClient; // downloads only, never signed in
    std::unique_ptr<SyncEngine> m_engine;
    std::unique_ptr<CancellationSource> m_cancel;
    bool m_running = false;
    bool m_passRequested = false;
    bool m_stopping = false;
    std::optional<ExtensionError> m_blocked; // why passes cannot run until something changes
    bool m_serviceFailing = false;
    bool m_settling = false; // files being written wait to be sent: not stable yet
    int m_serviceFailures = 0;
    std::vector<std::function<void(std::optional<ExtensionError>)>> m_waiters;
    std::vector<std::function<void()>> m_stopWaiters;
    QTimer m_retryTimer;
    ReportThrottle m_downloadReports;
    ReportThrottle m_uploadReports;
    std::unique_ptr<FolderWatcher> m_watcher;
    QTimer m_quietTimer;  // a pass once the folder has been quiet for a moment
    QTimer m_rescanTimer; // a complete look at the folder, whatever the watcher says
    QTimer m_itemStoreTimer; // the item store once the domain has been quiet for a while
    PassScope m_scope;       // what the next pass looks at
};

} // namespace OrvelanNimbal::FileProvider
