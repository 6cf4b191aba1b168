// SPDX-License-Identifier: GPL-3.0-or-later
#include "daemon/FileProviderService.h"

#include "Logging.h"
#include "disk/SafeNames.h"
#include "domain/DomainHost.h"
#include "errors/FileError.h"

#include <QDBusConnection>
#include <QPointer>

namespace OrvelanNimbal::FileProvider {

namespace {

const QString uploadKind = QStringLiteral("upload");
const QString downloadKind = QStringLiteral("download");

// The identifier names the domain's folder under ~/Nimbal: one plain name, not hidden.
bool isUsableIdentifier(const QString &identifier)
{
    return !SafeNames::check(identifier) && !identifier.startsWith(u'.');
}

} // namespace

FileProviderService::FileProviderService(DomainRegistry registry, DomainStates states,
                                         ServiceEndpoints endpoints, QObject *parent)
    : QObject(parent)
    , m_registry(std::move(registry))
    , m_endpoints(std::move(endpoints))
    , m_states(std::move(states))
{
    m_pauseEnd.setSingleShot(true);
    connect(&m_pauseEnd, &QTimer::timeout, this, &FileProviderService::endPausesDue);
}

FileProviderService::~FileProviderService() = default;

QString FileProviderService::version()
{
    return QStringLiteral(NIMBAL_VERSION);
}

void FileProviderService::start()
{
    expirePauses();
    for (const DomainRecord &domain : std::as_const(m_registry.domains)) {
        if (shouldRun(domain))
            startHost(domain);
    }
}

bool FileProviderService::shouldRun(const DomainRecord &domain) const
{
    return m_registry.extensionEnabled && domain.userEnabled
           && !m_removing.contains(domain.identifier) && !isPaused(domain.identifier);
}

DomainHost &FileProviderService::startHost(const DomainRecord &domain)
{
    if (const auto running = m_hosts.find(domain.identifier); running != m_hosts.end())
        return *running->second;
    auto host = std::make_unique<DomainHost>(domain, m_endpoints);
    DomainHost *raw = host.get();
    const QString identifier = domain.identifier;
    connect(raw, &DomainHost::downloadProgressChanged, this, [this, raw, identifier] {
        const TransferProgress::Snapshot progress = raw->downloadProgress();
        emit ProgressChanged(identifier, downloadKind, progress.finished, progress.total,
                             progress.completed, progress.fraction());
    });
    connect(raw, &DomainHost::synchronised, this,
            [this, identifier] { recordSynchronised(identifier); });
    connect(raw, &DomainHost::uploadProgressChanged, this, [this, raw, identifier] {
        const TransferProgress::Snapshot progress = raw->uploadProgress();
        emit ProgressChanged(identifier, uploadKind, progress.finished, progress.total,
                             progress.completed, progress.fraction());
    });
    m_hosts.emplace(identifier, std::move(host));
    raw->start();
    return *raw;
}

QCoro::Task<> FileProviderService::stopHost(QString identifier)
{
    const auto found = m_hosts.find(identifier);
    if (found == m_hosts.end())
        co_return;
    std::unique_ptr<DomainHost> host = std::move(found->second);
    m_hosts.erase(found);
    co_await host->stop();
}

bool FileProviderService::refuse(const ExtensionError &error)
{
    if (calledFromDBus())
        sendErrorReply(error.name, error.message);
    return false;
}

DomainRecord *FileProviderService::requireDomain(const QString &identifier)
{
    DomainRecord *domain = m_registry.find(identifier);
    if (!domain || m_removing.contains(identifier)) {
        refuse(ExtensionError::noSuchDomain());
        return nullptr;
    }
    return domain;
}

void FileProviderService::answerLater(QCoro::Task<std::optional<ExtensionError>> work)
{
    if (!calledFromDBus())
        return;
    setDelayedReply(true);
    [](QCoro::Task<std::optional<ExtensionError>> work, QDBusMessage call,
       QDBusConnection connection) -> QCoro::Task<> {
        const std::optional<ExtensionError> error = co_await std::move(work);
        connection.send(error ? call.createErrorReply(error->name, error->message)
                              : call.createReply());
    }(std::move(work), message(), connection());
}

FileProviderDomainList FileProviderService::Domains()
{
    FileProviderDomainList domains;
    for (const DomainRecord &domain : std::as_const(m_registry.domains)) {
        if (!m_removing.contains(domain.identifier))
            domains.append(domain);
    }
    return domains;
}

void FileProviderService::AddDomain(const QString &identifier, const QString &displayName)
{
    if (!isUsableIdentifier(identifier)) {
        refuse(ExtensionError::invalidIdentifier());
        return;
    }
    if (m_removing.contains(identifier)) {
        refuse(ExtensionError::failed(
            QStringLiteral("Le retrait du dossier de ce compte n'est pas terminé.")));
        return;
    }
    try {
        DomainHost::prepareFolder(identifier);
    } catch (const FileError &error) {
        refuse(ExtensionError::failed(error.errorDescription()));
        return;
    }
    DomainRecord *domain = m_registry.find(identifier);
    const DomainRecord before = domain ? *domain : DomainRecord{};
    if (domain) {
        domain->displayName = displayName;
    } else {
        m_registry.domains.append({identifier, displayName, true});
        domain = &m_registry.domains.last();
    }
    if (!m_registry.save()) {
        if (before.identifier.isEmpty())
            m_registry.domains.removeLast();
        else
            *domain = before;
        refuse(ExtensionError::failed(
            QStringLiteral("L'état de l'extension n'a pas pu être enregistré.")));
        return;
    }
    qCInfo(logExtension).noquote()
        << QStringLiteral("Domaine ajouté pour %1.").arg(redacted(identifier));
    if (const auto host = m_hosts.find(identifier); host != m_hosts.end()) {
        host->second->setRecord(*domain);
        host->second->requestPass();
    } else if (shouldRun(*domain)) {
        startHost(*domain);
    }
}

void FileProviderService::RemoveDomain(const QString &identifier)
{
    if (!requireDomain(identifier))
        return;
    answerLater(removeDomain(identifier));
}

QCoro::Task<std::optional<ExtensionError>> FileProviderService::removeDomain(QString identifier)
{
    QPointer<FileProviderService> self(this);
    m_removing.insert(identifier);
    co_await stopHost(identifier);
    if (!self)
        co_return std::nullopt;
    DomainRecord record = *m_registry.find(identifier);
    DomainHost remover(record, m_endpoints);
    co_await remover.removeEverything();
    if (!self)
        co_return std::nullopt;
    m_registry.domains.removeIf(
        [&](const DomainRecord &domain) { return domain.identifier == identifier; });
    m_removing.remove(identifier);
    m_states.forget(identifier);
    m_states.save();
    if (!m_registry.save())
        co_return ExtensionError::failed(
            QStringLiteral("L'état de l'extension n'a pas pu être enregistré."));
    co_return std::nullopt;
}

void FileProviderService::SetUserEnabled(const QString &identifier, bool enabled)
{
    DomainRecord *domain = requireDomain(identifier);
    if (!domain)
        return;
    domain->userEnabled = enabled;
    m_registry.save();
    qCInfo(logExtension).noquote()
        << QStringLiteral("Dossier de %1 %2.")
               .arg(redacted(identifier),
                    enabled ? QStringLiteral("activé") : QStringLiteral("désactivé"));
    answerLater(applySwitches());
}

void FileProviderService::SetExtensionEnabled(bool enabled)
{
    m_registry.extensionEnabled = enabled;
    m_registry.save();
    qCInfo(logExtension) << (enabled ? "Extension activée." : "Extension désactivée.");
    answerLater(applySwitches());
}

QCoro::Task<std::optional<ExtensionError>> FileProviderService::applySwitches()
{
    QPointer<FileProviderService> self(this);
    QStringList stopping;
    for (const auto &[identifier, host] : m_hosts) {
        const DomainRecord *domain = m_registry.find(identifier);
        if (!domain || !shouldRun(*domain))
            stopping.append(identifier);
    }
    for (const QString &identifier : stopping) {
        co_await stopHost(identifier);
        if (!self)
            co_return std::nullopt;
    }
    start();
    co_return std::nullopt;
}

const DomainRecord *FileProviderService::requireRunningDomain(const QString &identifier)
{
    const DomainRecord *domain = requireDomain(identifier);
    if (!domain)
        return nullptr;
    if (!m_registry.extensionEnabled) {
        refuse(ExtensionError::extensionDisabled());
        return nullptr;
    }
    if (!domain->userEnabled) {
        refuse(ExtensionError::domainDisabled());
        return nullptr;
    }
    return domain;
}

void FileProviderService::SignalWorkingSet(const QString &identifier)
{
    // While paused the change waits with the others: the pass at the end sees them all.
    const DomainRecord *domain = requireRunningDomain(identifier);
    if (domain && !isPaused(identifier))
        startHost(*domain).requestPass();
}

void FileProviderService::WaitForStabilization(const QString &identifier)
{
    const DomainRecord *domain = requireRunningDomain(identifier);
    if (domain && isPaused(identifier)) {
        refuse(ExtensionError::paused());
        return;
    }
    if (!domain || !calledFromDBus())
        return;
    setDelayedReply(true);
    startHost(*domain).whenStable(
        [call = message(), connection = connection()](std::optional<ExtensionError> error) {
            connection.send(error ? call.createErrorReply(error->name, error->message)
                                  : call.createReply());
        });
}

QString FileProviderService::UserVisibleFolder(const QString &identifier)
{
    if (!requireDomain(identifier))
        return {};
    return DomainHost::folderFor(identifier);
}

bool FileProviderService::Progress(const QString &identifier, const QString &kind,
                                   qlonglong &totalUnitCount, qlonglong &completedUnitCount,
                                   double &fractionCompleted)
{
    if (!requireDomain(identifier))
        return true;
    if (kind != uploadKind && kind != downloadKind) {
        refuse(ExtensionError::invalidArgument(
            QStringLiteral("Type de transfert inconnu : « %1 » (upload ou download).").arg(kind)));
        return true;
    }
    TransferProgress::Snapshot progress;
    if (const auto host = m_hosts.find(identifier); host != m_hosts.end())
        progress = kind == downloadKind ? host->second->downloadProgress()
                                        : host->second->uploadProgress();
    totalUnitCount = progress.total;
    completedUnitCount = progress.completed;
    fractionCompleted = progress.fraction();
    return progress.finished;
}

} // namespace OrvelanNimbal::FileProvider
