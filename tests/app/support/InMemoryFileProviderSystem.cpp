// SPDX-License-Identifier: GPL-3.0-or-later
#include "InMemoryFileProviderSystem.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace OrvelanNimbal::Testing {

namespace {

FileProviderError unknownDomain()
{
    return {QStringLiteral("test.NoSuchDomain"), QStringLiteral("Domaine inconnu.")};
}

} // namespace

class InMemoryFileProviderSystem::Manager final : public FileProviderManager {
public:
    Manager(InMemoryFileProviderSystem *system, QString identifier)
        : m_system(system)
        , m_identifier(std::move(identifier))
    {}

    void signalWorkingSet(FileProviderCompletion completion) override
    {
        m_system->answer(completion, m_system->call(QStringLiteral("signal"), m_identifier));
    }

    void waitForStabilization(FileProviderCompletion completion) override
    {
        const auto error = m_system->call(QStringLiteral("stabilize"), m_identifier);
        if (m_system->m_stabilizing || error)
            m_system->answer(completion, error);
        else
            m_system->m_held.append(std::move(completion));
    }

    void userVisibleFolder(
        std::function<void(std::optional<QString>, std::optional<FileProviderError>)> completion)
        override
    {
        const std::optional<QString> folder = m_system->m_folder;
        m_system->answer([completion, folder] {
            completion(folder, folder ? std::nullopt : std::optional(unknownDomain()));
        });
    }

    std::shared_ptr<FileProviderProgress> globalProgress(FileProviderTransferKind kind) override
    {
        return kind == FileProviderTransferKind::upload ? m_system->m_upload : m_system->m_download;
    }

    void pauseState(std::function<void(FileProviderPause, std::optional<FileProviderError>)>
                        completion) override
    {
        const FileProviderPause pause = m_system->m_pause;
        m_system->answer([completion, pause] { completion(pause, std::nullopt); });
    }

    void setPaused(bool paused, FileProviderCompletion completion) override
    {
        const QString verb = paused ? QStringLiteral("pause") : QStringLiteral("resume");
        const auto error = m_system->call(verb, m_identifier);
        if (!error)
            m_system->m_pause = {paused, std::nullopt};
        m_system->answer(completion, error);
    }

private:
    InMemoryFileProviderSystem *m_system;
    QString m_identifier;
};

InMemoryFileProviderSystem::InMemoryFileProviderSystem(QList<FileProviderDomain> registered)
    : m_registered(std::move(registered))
{}

void InMemoryFileProviderSystem::fail(const QString &call, const QString &message)
{
    m_failures.insert(call, message);
}

std::optional<FileProviderError> InMemoryFileProviderSystem::call(const QString &verb,
                                                                  const QString &identifier)
{
    const QString call = identifier.isEmpty() ? verb : verb + u' ' + identifier;
    m_calls.append(call);
    for (const QString &key : {call, verb, QStringLiteral("*")}) {
        if (m_failures.contains(key))
            return FileProviderError{QStringLiteral("test.Failed"), m_failures.value(key)};
    }
    return std::nullopt;
}

void InMemoryFileProviderSystem::answer(std::function<void()> completion)
{
    if (m_fromWorkers)
        QThreadPool::globalInstance()->start(std::move(completion));
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(completion),
                                  Qt::QueuedConnection);
}

void InMemoryFileProviderSystem::answer(const FileProviderCompletion &completion,
                                        std::optional<FileProviderError> error)
{
    answer([completion, error] { completion(error); });
}

qsizetype InMemoryFileProviderSystem::indexOf(const QString &identifier) const
{
    const auto found =
        std::find_if(m_registered.begin(), m_registered.end(),
                     [&](const auto &domain) { return domain.identifier == identifier; });
    return found == m_registered.end() ? -1 : found - m_registered.begin();
}

void InMemoryFileProviderSystem::completeStabilizations()
{
    for (const FileProviderCompletion &completion : std::exchange(m_held, {}))
        answer(completion, std::nullopt);
}

void InMemoryFileProviderSystem::switchDomain(const QString &identifier, bool enabled)
{
    if (const qsizetype index = indexOf(identifier); index >= 0)
        m_registered[index].userEnabled = enabled;
}

SettableProgress &InMemoryFileProviderSystem::progress(FileProviderTransferKind kind)
{
    return kind == FileProviderTransferKind::upload ? *m_upload : *m_download;
}

void InMemoryFileProviderSystem::domains(
    std::function<void(QList<FileProviderDomain>, std::optional<FileProviderError>)> completion)
{
    const auto error = call(QStringLiteral("domains"));
    const auto registered = error ? QList<FileProviderDomain>() : m_registered;
    answer([completion, registered, error] { completion(registered, error); });
}

void InMemoryFileProviderSystem::addDomain(FileProviderDomain domain,
                                           FileProviderCompletion completion)
{
    const auto error = call(QStringLiteral("add"), domain.identifier);
    if (!error && indexOf(domain.identifier) < 0)
        m_registered.append(domain);
    answer(completion, error);
}

void InMemoryFileProviderSystem::removeDomain(FileProviderDomain domain,
                                              FileProviderCompletion completion)
{
    auto error = call(QStringLiteral("remove"), domain.identifier);
    const qsizetype index = indexOf(domain.identifier);
    if (!error && index < 0)
        error = unknownDomain();
    if (!error)
        m_registered.removeAt(index);
    answer(completion, error);
}

void InMemoryFileProviderSystem::manager(
    QString identifier, std::function<void(std::shared_ptr<FileProviderManager>)> completion)
{
    std::shared_ptr<FileProviderManager> found;
    if (!call(QStringLiteral("manager"), identifier) && indexOf(identifier) >= 0)
        found = std::make_shared<Manager>(this, identifier);
    answer([completion, found] { completion(found); });
}

void InMemoryFileProviderSystem::setUserEnabled(QString identifier, bool enabled,
                                                FileProviderCompletion completion)
{
    auto error = call(QStringLiteral("enable"), identifier);
    if (!error && indexOf(identifier) < 0)
        error = unknownDomain();
    if (!error)
        switchDomain(identifier, enabled);
    answer(completion, error);
}

} // namespace OrvelanNimbal::Testing
