// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bus/FileProviderBus.h"
#include "config/ServiceEndpoints.h"
#include "daemon/DomainRegistry.h"
#include "daemon/DomainStates.h"
#include "daemon/ExtensionError.h"

#include <QCoro/QCoroTask>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QVariantMap>

#include <map>
#include <memory>

namespace OrvelanNimbal::FileProvider {

class DomainHost;

// The extension as the session bus sees it (net.orvelan.nimbal.FileProvider1, generated
// adaptor): the domains the application registers, each kept by a DomainHost while the
// extension and the domain are switched on. Methods that wait (removal, stabilisation, the
// switches) answer later; every refusal is a named error with a French message.
class FileProviderService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(QString Version READ version CONSTANT)
    // Read over D-Bus only, where a client asks again rather than waits for a change.
    Q_PROPERTY(bool ExtensionEnabled READ extensionEnabled) // clazy:exclude=qproperty-without-notify

public:
    FileProviderService(DomainRegistry registry, DomainStates states, ServiceEndpoints endpoints,
                        QObject *parent = nullptr);
    ~FileProviderService() override;

    // Starts the domains that are switched on: each catches up with the drive.
    void start();

    static QString version();
    bool extensionEnabled() const { return m_registry.extensionEnabled; }

    // --- The bus interface, called by the generated adaptor ---
    FileProviderDomainList Domains();
    void AddDomain(const QString &identifier, const QString &displayName);
    void RemoveDomain(const QString &identifier);
    void SetUserEnabled(const QString &identifier, bool enabled);
    void SetExtensionEnabled(bool enabled);
    void SignalWorkingSet(const QString &identifier);
    void WaitForStabilization(const QString &identifier);
    QString UserVisibleFolder(const QString &identifier);
    bool Progress(const QString &identifier, const QString &kind, qlonglong &totalUnitCount,
                  qlonglong &completedUnitCount, double &fractionCompleted);
    // Pauses, what is left and the state of paths (FileProviderService_activity.cpp).
    void Pause(const QString &identifier, qlonglong until);
    void Resume(const QString &identifier);
    bool PauseState(const QString &identifier, qlonglong &until);
    QVariantMap Activity(const QString &identifier);
    QString ItemStatus(const QString &identifier, const QString &path, QString &reason);
    QList<QVariantMap> Conflicts(const QString &identifier);

signals:
    void ProgressChanged(const QString &identifier, const QString &kind, bool finished,
                         qlonglong totalUnitCount, qlonglong completedUnitCount,
                         double fractionCompleted);
    void ActivityChanged(const QString &identifier, const QVariantMap &activity);

private:
    // The domain, or a refusal sent back to the caller and nothing.
    DomainRecord *requireDomain(const QString &identifier);
    // The same, refused also when the extension or the domain is switched off.
    const DomainRecord *requireRunningDomain(const QString &identifier);
    bool refuse(const ExtensionError &error);
    // Answers the current call once `work` is done: an error if it gives one.
    void answerLater(QCoro::Task<std::optional<ExtensionError>> work);

    bool shouldRun(const DomainRecord &domain) const;
    DomainHost &startHost(const DomainRecord &domain);
    QCoro::Task<> stopHost(QString identifier);
    QCoro::Task<std::optional<ExtensionError>> removeDomain(QString identifier);
    QCoro::Task<std::optional<ExtensionError>> applySwitches();

    bool isPaused(const QString &identifier) const;
    // Ends the pauses whose time has come and waits for the next end; true when one ended.
    bool expirePauses();
    void endPausesDue();
    void announceActivity(const QString &identifier);
    void recordSynchronised(const QString &identifier);

    DomainRegistry m_registry;
    ServiceEndpoints m_endpoints;
    std::map<QString, std::unique_ptr<DomainHost>> m_hosts;
    QSet<QString> m_removing;
    DomainStates m_states;
    QTimer m_pauseEnd;
};

} // namespace OrvelanNimbal::FileProvider
