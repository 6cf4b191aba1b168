// SPDX-License-Identifier: GPL-3.0-or-later
#include "domains/DBusFileProviderSystem.h"

#include "config/OrvelanNimbal.h"
#include "fileprovider1proxy.h"

#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QMutex>

#include <limits>

namespace OrvelanNimbal {

namespace {

const QString objectPath = QStringLiteral("/net/orvelan/nimbal/FileProvider1");

FileProviderError errorOf(const QDBusError &error)
{
    return {error.name(), error.message()};
}

// Calls `then` with the finished call once it answers, on the proxy's thread.
template <class Then>
void whenAnswered(const QDBusPendingCall &call, Then then)
{
    auto *watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [then = std::move(then)](QDBusPendingCallWatcher *finished) {
                         finished->deleteLater();
                         then(*finished);
                     });
}

void complete(const QDBusPendingCall &call, FileProviderCompletion completion)
{
    whenAnswered(call, [completion = std::move(completion)](const QDBusPendingCall &answer) {
        if (answer.isError())
            completion(errorOf(answer.error()));
        else
            completion(std::nullopt);
    });
}

// The extension's transfers of one kind over one domain, kept current by its ProgressChanged
// signal. Read from any thread.
class DBusProgress final : public QObject, public FileProviderProgress {
public:
    DBusProgress(std::shared_ptr<FileProvider1Proxy> proxy, QString identifier, QString kind)
        : m_identifier(std::move(identifier))
        , m_kind(std::move(kind))
    {
        connect(proxy.get(), &FileProvider1Proxy::ProgressChanged, this,
                [this](const QString &identifier, const QString &kind, bool finished,
                       qlonglong total, qlonglong completed, double fraction) {
                    if (identifier == m_identifier && kind == m_kind)
                        set(finished, total, completed, fraction);
                });
        // What it is now; a signal that arrives first wins, being newer.
        whenAnswered(proxy->Progress(m_identifier, m_kind),
                     [self = QPointer<DBusProgress>(this)](const QDBusPendingCall &call) {
                         const QDBusPendingReply<bool, qlonglong, qlonglong, double> reply(call);
                         if (!self || reply.isError() || self->m_heard)
                             return;
                         self->set(reply.argumentAt<0>(), reply.argumentAt<1>(),
                                   reply.argumentAt<2>(), reply.argumentAt<3>());
                     });
    }

    bool isFinished() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_finished;
    }
    qint64 totalUnitCount() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_total;
    }
    qint64 completedUnitCount() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_completed;
    }
    double fractionCompleted() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_fraction;
    }

private:
    void set(bool finished, qint64 total, qint64 completed, double fraction)
    {
        QMutexLocker lock(&m_mutex);
        m_heard = true;
        m_finished = finished;
        m_total = total;
        m_completed = completed;
        m_fraction = fraction;
    }

    const QString m_identifier;
    const QString m_kind;
    mutable QMutex m_mutex;
    bool m_heard = false;
    bool m_finished = true;
    qint64 m_total = 0;
    qint64 m_completed = 0;
    double m_fraction = 0;
};

class DBusManager final : public FileProviderManager {
public:
    DBusManager(std::shared_ptr<FileProvider1Proxy> proxy, QString identifier)
        : m_proxy(std::move(proxy))
        , m_identifier(std::move(identifier))
    {}

    void signalWorkingSet(FileProviderCompletion completion) override
    {
        complete(m_proxy->SignalWorkingSet(m_identifier), std::move(completion));
    }

    void waitForStabilization(FileProviderCompletion completion) override
    {
        // The extension answers when it is done, however long that takes; the caller bounds the
        // wait itself, so the call has no deadline of its own.
        const int timeout = m_proxy->timeout();
        m_proxy->setTimeout(std::numeric_limits<int>::max());
        complete(m_proxy->WaitForStabilization(m_identifier), std::move(completion));
        m_proxy->setTimeout(timeout);
    }

    void userVisibleFolder(
        std::function<void(std::optional<QString>, std::optional<FileProviderError>)> completion)
        override
    {
        whenAnswered(m_proxy->UserVisibleFolder(m_identifier),
                     [completion = std::move(completion)](const QDBusPendingCall &call) {
                         const QDBusPendingReply<QString> reply(call);
                         if (reply.isError())
                             completion(std::nullopt, errorOf(reply.error()));
                         else
                             completion(reply.value(), std::nullopt);
                     });
    }

    std::shared_ptr<FileProviderProgress> globalProgress(FileProviderTransferKind kind) override
    {
        std::shared_ptr<FileProviderProgress> &progress =
            kind == FileProviderTransferKind::upload ? m_upload : m_download;
        if (!progress)
            progress = std::make_shared<DBusProgress>(
                m_proxy, m_identifier,
                kind == FileProviderTransferKind::upload ? u"upload"_qs : u"download"_qs);
        return progress;
    }

    void pauseState(std::function<void(FileProviderPause, std::optional<FileProviderError>)>
                        completion) override
    {
        whenAnswered(m_proxy->PauseState(m_identifier),
                     [completion = std::move(completion)](const QDBusPendingCall &call) {
                         const QDBusPendingReply<bool, qlonglong> reply(call);
                         if (reply.isError()) {
                             completion({}, errorOf(reply.error()));
                             return;
                         }
                         const qlonglong until = reply.argumentAt<1>();
                         completion({reply.argumentAt<0>(),
                                     until > 0 ? std::optional(QDateTime::fromSecsSinceEpoch(until))
                                               : std::nullopt},
                                    std::nullopt);
                     });
    }

    void setPaused(bool paused, FileProviderCompletion completion) override
    {
        complete(paused ? m_proxy->Pause(m_identifier, 0) : m_proxy->Resume(m_identifier),
                 std::move(completion));
    }

private:
    std::shared_ptr<FileProvider1Proxy> m_proxy;
    const QString m_identifier;
    std::shared_ptr<FileProviderProgress> m_upload;
    std::shared_ptr<FileProviderProgress> m_download;
};

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<FileProviderDomain>();
        qDBusRegisterMetaType<FileProviderDomainList>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const FileProviderDomain &domain)
{
    argument.beginStructure();
    argument << domain.identifier << domain.displayName << domain.userEnabled;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, FileProviderDomain &domain)
{
    argument.beginStructure();
    argument >> domain.identifier >> domain.displayName >> domain.userEnabled;
    argument.endStructure();
    return argument;
}

DBusFileProviderSystem::DBusFileProviderSystem(QDBusConnection bus)
{
    registerTypes();
    m_proxy = std::make_shared<FileProvider1Proxy>(fileProviderBundleIdentifier, objectPath, bus);
}

DBusFileProviderSystem::~DBusFileProviderSystem() = default;

void DBusFileProviderSystem::domains(
    std::function<void(QList<FileProviderDomain>, std::optional<FileProviderError>)> completion)
{
    whenAnswered(m_proxy->Domains(),
                 [completion = std::move(completion)](const QDBusPendingCall &call) {
                     const QDBusPendingReply<FileProviderDomainList> reply(call);
                     if (reply.isError())
                         completion({}, errorOf(reply.error()));
                     else
                         completion(reply.value(), std::nullopt);
                 });
}

void DBusFileProviderSystem::addDomain(FileProviderDomain domain, FileProviderCompletion completion)
{
    complete(m_proxy->AddDomain(domain.identifier, domain.displayName), std::move(completion));
}

void DBusFileProviderSystem::removeDomain(FileProviderDomain domain,
                                          FileProviderCompletion completion)
{
    // Removal takes the synchronised copies off the disk: it may outlast a call's usual minute.
    const int timeout = m_proxy->timeout();
    m_proxy->setTimeout(std::numeric_limits<int>::max());
    complete(m_proxy->RemoveDomain(domain.identifier), std::move(completion));
    m_proxy->setTimeout(timeout);
}

void DBusFileProviderSystem::manager(
    QString identifier, std::function<void(std::shared_ptr<FileProviderManager>)> completion)
{
    // A manager exists for a registered domain only, as the system framework's lookup does.
    domains([proxy = m_proxy, identifier, completion = std::move(completion)](
                const QList<FileProviderDomain> &domains, std::optional<FileProviderError> error) {
        const bool known =
            !error && std::any_of(domains.begin(), domains.end(), [&](const auto &d) {
                return d.identifier == identifier;
            });
        completion(known ? std::make_shared<DBusManager>(proxy, identifier) : nullptr);
    });
}

void DBusFileProviderSystem::setUserEnabled(QString identifier, bool enabled,
                                            FileProviderCompletion completion)
{
    complete(m_proxy->SetUserEnabled(identifier, enabled), std::move(completion));
}

} // namespace OrvelanNimbal
