// SPDX-License-Identifier: GPL-3.0-or-later
#include "domain/DomainHost.h"

#include "Logging.h"
#include "async/OffMainThread.h"
#include "async/Wakeup.h"
#include "auth/KeychainError.h"
#include "auth/KeychainStores.h"
#include "client/ApiClient.h"
#include "config/OrvelanNimbal.h"
#include "domain/DomainRemoval.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "net/CurlTransport.h"
#include "transfer/ContentDownloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUuid>

namespace OrvelanNimbal::FileProvider {

namespace {

// The application's own request settings: three attempts, 400 ms then 800 ms apart, a minute
// without traffic before a request fails.
constexpr int requestAttempts = 3;
constexpr std::chrono::milliseconds requestBackOff(400);
constexpr double requestTimeoutSeconds = 60;
constexpr int parallelDownloads = 16;
constexpr std::chrono::milliseconds progressInterval(100);
// A change on disk is looked at once the folder has been quiet this long.
constexpr std::chrono::milliseconds quietPeriod(1000);
// Files closed after writing are looked at this soon, so that a burst of them goes together.
constexpr std::chrono::milliseconds closedWritesDelay(50);
// Every folder is looked at this often even when the watcher saw nothing; more often when it
// cannot watch every folder.
constexpr std::chrono::minutes rescanInterval(60);
constexpr std::chrono::minutes blindRescanInterval(5);
// The item store is an export of every row: after passes over part of the folder, it is
// written once the domain has had nothing to do for this long.
constexpr std::chrono::seconds itemStoreDelay(10);

// After a pass that could not reach the service: 5 s, doubling up to 5 minutes.
std::chrono::milliseconds serviceBackOff(int failures)
{
    const auto wait = std::chrono::seconds(5) * (1 << std::min(failures - 1, 6));
    return std::min<std::chrono::milliseconds>(wait, std::chrono::minutes(5));
}

struct NoSession : std::exception {};

void removeJournalFiles(const QString &path)
{
    for (const QString &file : {path, path + u"-wal"_qs, path + u"-shm"_qs})
        QFile::remove(file);
}

} // namespace

DomainHost::DomainHost(DomainRecord record, ServiceEndpoints endpoints, QObject *parent)
    : QObject(parent)
    , m_record(std::move(record))
    , m_endpoints(std::move(endpoints))
    , m_downloadReports(progressInterval, [this] { emit downloadProgressChanged(); })
    , m_uploadReports(progressInterval, [this] { emit uploadProgressChanged(); })
{
    const auto client = [this] {
        return ApiClient::create(
            DriveConfiguration(m_endpoints.apiBaseURL, requestAttempts, requestBackOff,
                               requestTimeoutSeconds),
            std::make_shared<CurlTransport>(),
            std::make_shared<KeychainSessionStore>(m_endpoints.sessionService, appGroupIdentifier),
            std::make_shared<KeychainTrustedDeviceStore>(m_endpoints.trustedDeviceService,
                                                         appGroupIdentifier));
    };
    m_client = client();
    // Contents come from pre-signed addresses over connections of their own: the requests for
    // their grants never queue behind them, wherever the storage is.
    m_contentClient = client();
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &DomainHost::requestPass);
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(quietPeriod);
    connect(&m_quietTimer, &QTimer::timeout, this, &DomainHost::requestPass);
    m_rescanTimer.setInterval(rescanInterval);
    connect(&m_rescanTimer, &QTimer::timeout, this, &DomainHost::requestWholePass);
    m_itemStoreTimer.setSingleShot(true);
    m_itemStoreTimer.setInterval(itemStoreDelay);
    connect(&m_itemStoreTimer, &QTimer::timeout, this, &DomainHost::writeItemStore);
}

DomainHost::~DomainHost() = default;

QString DomainHost::folderFor(const QString &identifier)
{
    return QDir::home().filePath(QStringLiteral("Nimbal/") + identifier);
}

QString DomainHost::folder() const
{
    return folderFor(m_record.identifier);
}

QString DomainHost::journalFile(const QString &identifier)
{
    const auto container = appGroupContainerURL();
    if (!container)
        return {};
    return QDir(container->toLocalFile())
        .filePath(QStringLiteral("journal-") + accountFileKey(identifier)
                  + QStringLiteral(".sqlite"));
}

void DomainHost::prepareFolder(const QString &identifier)
{
    const QString folder = folderFor(identifier);
    if (!QDir().mkpath(folder))
        throw FileError(folder, QStringLiteral("impossible de créer le dossier"));
    const LocalFolder local(folder);
    if (!local.readMarker())
        local.writeMarker(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

void DomainHost::start()
{
    requestPass();
}

void DomainHost::requestWholePass()
{
    m_scope = PassScope::everything();
    requestPass();
}

QCoro::Task<> DomainHost::writeItemStore()
{
    if (m_running || m_stopping || !m_engine) {
        co_return; // the next quiet moment
    }
    try {
        co_await m_engine->writeItemStore();
    } catch (const std::exception &error) {
        qCWarning(logExtension) << error.what();
    }
}

void DomainHost::requestPass()
{
    if (m_stopping)
        return;
    m_passRequested = true;
    if (!m_running)
        runPasses();
}

TransferProgress::Snapshot DomainHost::downloadProgress() const
{
    return m_engine ? m_engine->downloadProgress().snapshot() : TransferProgress::Snapshot{};
}

TransferProgress::Snapshot DomainHost::uploadProgress() const
{
    return m_engine ? m_engine->uploadProgress().snapshot() : TransferProgress::Snapshot{};
}

QSet<QString> DomainHost::sendingPaths() const
{
    return m_engine ? m_engine->sendingPaths() : QSet<QString>();
}

void DomainHost::watchFolder()
{
    m_watcher = std::make_unique<FolderWatcher>(folder());
    // A pass looks at the folders the watcher saw change; a rescan at all of them. Files
    // written and closed are whole as far as their writers go: they need no quiet wait.
    connect(m_watcher.get(), &FolderWatcher::foldersChanged, this,
            [this](const QSet<QString> &folders) {
                m_scope.merge(PassScope::changedIn(folders));
            });
    connect(m_watcher.get(), &FolderWatcher::changed, this, [this](bool onlyWritesClosed) {
        m_quietTimer.start(onlyWritesClosed ? closedWritesDelay : quietPeriod);
    });
    connect(m_watcher.get(), &FolderWatcher::closedAfterWriting, this,
            [this](const QString &path) {
                if (m_engine)
                    m_engine->closedAfterWriting(path);
            });
    connect(m_watcher.get(), &FolderWatcher::rescanNeeded, this, [this] {
        if (!m_watcher->isComplete())
            m_rescanTimer.setInterval(blindRescanInterval);
        requestWholePass();
    });
    if (!m_watcher->start() || !m_watcher->isComplete())
        m_rescanTimer.setInterval(blindRescanInterval);
    m_rescanTimer.start();
}

QCoro::Task<> DomainHost::runPasses()
{
    m_running = true;
    QPointer<DomainHost> self(this);
    if (!m_cancel)
        m_cancel = std::make_unique<CancellationSource>();
    const CancellationToken cancel = m_cancel->token();
    while (m_passRequested && !m_stopping) {
        m_passRequested = false;
        m_retryTimer.stop();
        m_itemStoreTimer.stop();
        // What the watcher cannot vouch for is looked at whole.
        PassScope scope = std::exchange(m_scope, PassScope::changedIn({}));
        if (!m_watcher || !m_watcher->isComplete())
            scope = PassScope::everything();
        std::optional<std::chrono::milliseconds> retry;
        bool cancelled = false;
        m_settling = false;
        try {
            if (!m_engine)
                openEngine();
            co_await ensureSession();
            const SyncEngine::PassOutcome outcome =
                co_await m_engine->runPass(std::move(scope), cancel);
            m_blocked.reset();
            m_serviceFailing = false;
            m_serviceFailures = 0;
            m_passRequested = m_passRequested || outcome.again;
            m_settling = outcome.settling;
            retry = outcome.retryIn;
            if (outcome.itemsLeft == 0 && !outcome.again && !m_settling && !m_passRequested)
                emit synchronised();
        } catch (const OperationCancelled &) {
            cancelled = true;
        } catch (const FolderUnavailable &error) {
            if (!m_blocked)
                qCWarning(logExtension).noquote() << error.message();
            m_blocked = ExtensionError::folderUnavailable(error.message());
        } catch (const NoSession &) {
            if (!m_blocked)
                qCWarning(logExtension).noquote()
                    << QStringLiteral("Aucune session pour %1 : en attente d'une connexion.")
                           .arg(redacted(m_record.identifier));
            m_blocked = ExtensionError::noSession();
        } catch (const DriveError &error) {
            if (error.kind() == DriveError::Kind::notAuthenticated) {
                m_blocked = ExtensionError::noSession();
            } else {
                m_serviceFailing = true;
                retry = serviceBackOff(++m_serviceFailures);
            }
            qCWarning(logExtension).noquote()
                << QStringLiteral("Lecture du Nimbal impossible (%1) : %2")
                       .arg(debugName(error), error.errorDescription());
        } catch (const KeychainError &error) {
            m_serviceFailing = true;
            retry = serviceBackOff(++m_serviceFailures);
            qCWarning(logExtension).noquote() << error.errorDescription();
        } catch (const JournalError &error) {
            m_blocked = ExtensionError::failed(error.message());
            qCWarning(logExtension).noquote() << error.message();
        } catch (const FileError &error) {
            // The disk refused something of the domain's own (its folder, its journal's
            // place): tried again later, never given up on.
            m_serviceFailing = true;
            retry = serviceBackOff(++m_serviceFailures);
            qCWarning(logExtension).noquote() << error.errorDescription();
        }
        if (!self)
            co_return;
        if (cancelled)
            break;
        if (retry)
            scheduleRetry(*retry);
    }
    m_running = false;
    if (!m_stopping)
        m_itemStoreTimer.start();
    settleWaiters();
    for (auto &waiter : std::exchange(m_stopWaiters, {}))
        waiter();
}

void DomainHost::openEngine()
{
    const QString root = folder();
    const LocalFolder local(root);
    const std::optional<QString> marker = local.readMarker();
    if (!marker)
        throw FolderUnavailable(
            QStringLiteral("Le dossier « %1 » est introuvable ou n'est plus celui du Nimbal : "
                           "synchronisation suspendue, rien n'est supprimé.")
                .arg(root));
    const QString path = journalFile(m_record.identifier);
    if (path.isEmpty())
        throw JournalError(QStringLiteral("Aucun dossier de données pour le journal."));
    auto journal = std::make_unique<Journal>(path);
    if (journal->folderID() != *marker) {
        // The journal describes another folder (or the folder was made anew): none of its rows
        // can be trusted here. Whatever is on disk is looked at afresh.
        if (!journal->folderID().isEmpty())
            qCInfo(logExtension) << "Journal d'un autre dossier : repris à zéro.";
        journal.reset();
        removeJournalFiles(path);
        journal = std::make_unique<Journal>(path);
        Journal::Batch batch;
        batch.setFolderID(*marker);
        journal->commit(batch);
    }
    SyncEngine::Settings settings{DriveAPI(m_client),
                                  std::make_shared<ContentDownloader>(DriveAPI(m_contentClient)),
                                  root,
                                  *marker,
                                  itemStoreURL(m_record.identifier),
                                  summaryURL(m_record.identifier),
                                  systemClock(),
                                  parallelDownloads,
                                  quietPeriod};
    m_engine = std::make_unique<SyncEngine>(std::move(settings), std::move(journal));
    m_engine->downloadProgress().setOnChange([this] { m_downloadReports.changed(); });
    m_engine->uploadProgress().setOnChange([this] { m_uploadReports.changed(); });
    watchFolder();
}

QCoro::Task<> DomainHost::ensureSession()
{
    const auto matches = [this] {
        const std::optional<QString> account = m_client->account();
        return account && account->compare(m_record.identifier, Qt::CaseInsensitive) == 0;
    };
    if (m_client->isAuthenticated() && matches())
        co_return;
    // The item the application wrote at sign-in; read again at each attempt, so that a sign-in
    // made meanwhile is picked up.
    const bool restored = co_await m_client->restoreSession();
    if (!restored || !matches())
        throw NoSession();
}

void DomainHost::scheduleRetry(std::chrono::milliseconds wait)
{
    m_retryTimer.start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0)));
}

void DomainHost::whenStable(std::function<void(std::optional<ExtensionError>)> done)
{
    m_waiters.push_back(std::move(done));
    settleWaiters();
}

void DomainHost::settleWaiters()
{
    // A pass to come, changes on disk still settling, or a service that did not answer the last
    // one: there is work left.
    if (m_running || m_passRequested || m_quietTimer.isActive() || m_settling
        || (m_serviceFailing && !m_blocked))
        return;
    for (auto &waiter : std::exchange(m_waiters, {}))
        waiter(m_blocked);
}

QCoro::Task<> DomainHost::stop()
{
    m_stopping = true;
    m_retryTimer.stop();
    m_quietTimer.stop();
    m_rescanTimer.stop();
    m_itemStoreTimer.stop();
    m_watcher.reset();
    if (m_cancel)
        m_cancel->cancel();
    if (m_running) {
        Wakeup stopped;
        m_stopWaiters.push_back([&stopped] { stopped.fire(); });
        co_await stopped.wait();
    }
    for (auto &waiter : std::exchange(m_waiters, {}))
        waiter(ExtensionError::domainDisabled());
}

QCoro::Task<> DomainHost::removeEverything()
{
    // Read from the journal itself: the engine that kept the domain committed it when it went.
    const QString root = folder();
    const std::optional<QString> marker = LocalFolder(root).readMarker();
    const QString journalPath = journalFile(m_record.identifier);
    ItemTable items;
    if (marker && !journalPath.isEmpty() && QFile::exists(journalPath)) {
        try {
            Journal journal(journalPath);
            if (journal.folderID() == *marker)
                items = journal.items();
        } catch (const JournalError &error) {
            qCWarning(logExtension).noquote() << error.message();
        }
    }
    // A folder without our marker is not ours to empty; one whose journal is unreadable keeps
    // all it holds, beside.
    if (marker) {
        auto removal = [root, items = std::move(items)] {
            return DomainRemoval::remove(root, items);
        };
        const DomainRemoval::Outcome outcome = co_await runOffMainThread(std::move(removal));
        if (outcome.kept > 0)
            qCWarning(logExtension).noquote()
                << QStringLiteral("Domaine de %1 retiré : %2 éléments non synchronisés mis de côté "
                                  "dans « %3 », à côté de son dossier.")
                       .arg(redacted(m_record.identifier))
                       .arg(outcome.kept)
                       .arg(QFileInfo(outcome.keptFolder)
                                .fileName()
                                .replace(m_record.identifier, redacted(m_record.identifier)));
        else
            qCInfo(logExtension).noquote()
                << QStringLiteral("Domaine de %1 retiré.").arg(redacted(m_record.identifier));
    }
    if (!journalPath.isEmpty())
        removeJournalFiles(journalPath);
    for (const auto &file : {itemStoreURL(m_record.identifier), summaryURL(m_record.identifier)}) {
        if (file)
            QFile::remove(file->toLocalFile());
    }
}

} // namespace OrvelanNimbal::FileProvider
