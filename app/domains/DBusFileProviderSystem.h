// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QVariantMap>

#include <memory>

class FileProvider1Proxy;

namespace OrvelanNimbal {

// The file-provider system of this desktop: the `nimbal-fileprovider` daemon on the session bus
// (net.orvelan.nimbal.sync.fileprovider), which the bus starts on the first call. Each operation
// is one call of the extension's interface, awaited on the main thread; its refusals are the
// extension's named errors with their French messages. Progress and pauses are what the
// extension last announced (ProgressChanged, ActivityChanged), asked for once per domain.
//
// When the extension leaves the bus (a crash, a kill, an update), it is started again at once
// and every domain is asked to re-read the drive, so that nothing waits for the next change to
// come back; the pauses it had are asked again, since one may have ended while it was away.
class DBusFileProviderSystem final : public FileProviderSystem {
    Q_OBJECT

public:
    explicit DBusFileProviderSystem(QDBusConnection bus = QDBusConnection::sessionBus(),
                                    QObject *parent = nullptr);
    ~DBusFileProviderSystem() override;

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

signals:
    // The extension came back after leaving the bus, and its domains were asked to re-read.
    void restarted();

private:
    void extensionLeft();
    QCoro::Task<> restart();
    void keepProgress(const QString &identifier, const QString &kind, bool finished,
                      qlonglong total, qlonglong completed, double fraction);
    QCoro::Task<FileProviderPause> askPause(QString identifier, CancellationToken cancel);
    void keepActivity(const QString &identifier, const QVariantMap &activity);
    void keepPause(const QString &identifier, const FileProviderPause &pause);

    std::unique_ptr<FileProvider1Proxy> m_proxy;
    QDBusServiceWatcher m_watcher;
    // Cancelled with the object: a restart in progress stops there.
    CancellationSource m_lifetime;
    // Since the last restart: an extension that leaves again at once is started after a pause.
    QElapsedTimer m_lastRestart;
    bool m_restartPending = false;
    // Keyed by identifier, then "upload" or "download".
    QHash<QString, QHash<QString, FileProviderProgress>> m_progress;
    // Keyed by identifier; kept while the extension is away, as it keeps them itself.
    QHash<QString, FileProviderPause> m_pauses;
};

} // namespace OrvelanNimbal
