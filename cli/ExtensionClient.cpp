// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExtensionClient.h"

#include "CommandFailure.h"
#include "bus/FileProviderBus.h"
#include "config/OrvelanNimbal.h"
#include "config/ServiceEndpoints.h"
#include "extensionproxy.h"

#include <QCoro/QCoroDBusPendingReply>

#include <climits>

namespace OrvelanNimbal::CommandLine {

namespace {

// Long enough for a first start by activation and the removal of a large folder.
constexpr int callTimeoutMilliseconds = 120000;

template <class Reply>
Reply checked(Reply reply)
{
    if (reply.isError())
        throw CommandFailure::from(reply.error());
    return reply;
}

} // namespace

QDBusConnection ExtensionClient::extensionBus()
{
    const QString address = ServiceEndpoints::fromBuild().extensionBusAddress;
    if (address.isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(address, QStringLiteral("nimbal-extension"));
}

ExtensionClient::ExtensionClient()
    : m_bus(extensionBus())
    , m_proxy(std::make_unique<ExtensionProxy>(fileProviderBundleIdentifier,
                                               FileProviderBus::objectPath, m_bus))
{
    FileProviderBus::registerTypes();
    m_proxy->setTimeout(callTimeoutMilliseconds);
}

ExtensionClient::~ExtensionClient() = default;

void ExtensionClient::requireBus() const
{
    if (!m_bus.isConnected())
        throw CommandFailure(ExitStatus::unreachable,
                             QStringLiteral("Bus de session injoignable : lancez nimbal depuis "
                                            "une session de bureau, ou dans une session D-Bus "
                                            "(dbus-run-session)."));
}

QCoro::Task<bool> ExtensionClient::extensionEnabled()
{
    requireBus();
    // Read through a call, not the cached property: the answer starts the extension if needed.
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileProviderBundleIdentifier, FileProviderBus::objectPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << FileProviderBus::interfaceName << QStringLiteral("ExtensionEnabled");
    const QDBusPendingReply<QDBusVariant> reply =
        co_await QDBusPendingReply<QDBusVariant>(m_bus.asyncCall(call, callTimeoutMilliseconds));
    co_return checked(reply).value().variant().toBool();
}

QCoro::Task<FileProviderDomainList> ExtensionClient::domains()
{
    requireBus();
    co_return checked(co_await m_proxy->Domains()).value();
}

QCoro::Task<std::optional<FileProviderDomain>> ExtensionClient::domain(QString identifier)
{
    const FileProviderDomainList registered = co_await domains();
    for (const FileProviderDomain &domain : registered) {
        if (domain.identifier == identifier)
            co_return domain;
    }
    co_return std::nullopt;
}

QCoro::Task<> ExtensionClient::mount(QString account)
{
    const FileProviderDomainList registered = co_await domains();
    for (const FileProviderDomain &domain : registered) {
        if (domain.identifier != account)
            co_await removeDomain(domain.identifier);
    }
    const FileProviderDomain own = FileProviderDomain::forAccount(account);
    checked(co_await m_proxy->AddDomain(own.identifier, own.displayName));
}

QCoro::Task<> ExtensionClient::removeDomain(QString identifier)
{
    requireBus();
    checked(co_await m_proxy->RemoveDomain(identifier));
}

QCoro::Task<> ExtensionClient::signalWorkingSet(QString identifier)
{
    requireBus();
    checked(co_await m_proxy->SignalWorkingSet(identifier));
}

QCoro::Task<> ExtensionClient::waitForStabilization(QString identifier,
                                                    std::chrono::milliseconds timeout)
{
    requireBus();
    const qint64 limit = std::min<qint64>(timeout.count(), INT_MAX);
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileProviderBundleIdentifier, FileProviderBus::objectPath, FileProviderBus::interfaceName,
        QStringLiteral("WaitForStabilization"));
    call << identifier;
    const QDBusPendingReply<> reply =
        co_await QDBusPendingReply<>(m_bus.asyncCall(call, int(limit)));
    if (reply.isError() && reply.error().type() == QDBusError::NoReply)
        throw CommandFailure(ExitStatus::retryable,
                             QStringLiteral("Délai dépassé : la synchronisation n'est pas "
                                            "terminée."));
    checked(reply);
}

QCoro::Task<QString> ExtensionClient::userVisibleFolder(QString identifier)
{
    requireBus();
    co_return checked(co_await m_proxy->UserVisibleFolder(identifier)).value();
}

QCoro::Task<> ExtensionClient::pause(QString identifier, qint64 until)
{
    requireBus();
    checked(co_await m_proxy->Pause(identifier, until));
}

QCoro::Task<> ExtensionClient::resume(QString identifier)
{
    requireBus();
    checked(co_await m_proxy->Resume(identifier));
}

QCoro::Task<QVariantMap> ExtensionClient::activity(QString identifier)
{
    requireBus();
    co_return checked(co_await m_proxy->Activity(identifier)).value();
}

QCoro::Task<std::pair<QString, QString>> ExtensionClient::itemStatus(QString identifier,
                                                                     QString path)
{
    requireBus();
    const auto reply = checked(co_await m_proxy->ItemStatus(identifier, path));
    co_return std::pair(reply.argumentAt<0>(), reply.argumentAt<1>());
}

QCoro::Task<QList<QVariantMap>> ExtensionClient::conflicts(QString identifier)
{
    requireBus();
    co_return checked(co_await m_proxy->Conflicts(identifier)).value();
}

} // namespace OrvelanNimbal::CommandLine
