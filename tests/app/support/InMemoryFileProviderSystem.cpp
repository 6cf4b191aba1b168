// SPDX-License-Identifier: GPL-3.0-or-later
#include "InMemoryFileProviderSystem.h"

#include <QThreadPool>
#include <QTimer>

namespace OrvelanNimbal::Testing {

class InMemoryFileProviderSystem::Manager final : public FileProviderManager {
public:
    Manager(InMemoryFileProviderSystem *system, QString identifier)
        : m_system(system)
        , m_identifier(std::move(identifier))
    {}

    void signalWorkingSet(FileProviderCompletion completion) override
    {
        m_system->record(QStringLiteral("signal"), m_identifier);
        emit m_system->signalled(m_identifier);
        m_system->answer([completion, error = m_system->m_signalFailure] { completion(error); });
    }

    void waitForStabilization(FileProviderCompletion completion) override
    {
        m_system->record(QStringLiteral("stabilize"), m_identifier);
        if (m_system->m_stabilizing)
            m_system->answer(
                [completion, error = m_system->m_stabilizationFailure] { completion(error); });
        else
            m_system->m_heldStabilizations.append(std::move(completion));
    }

    void userVisibleFolder(
        std::function<void(std::optional<QString>, std::optional<FileProviderError>)> completion)
        override
    {
        m_system->record(QStringLiteral("folder"), m_identifier);
        const std::optional<QString> folder = m_system->m_folder;
        m_system->answer([completion, folder] {
            if (folder)
                completion(folder, std::nullopt);
            else
                completion(std::nullopt, FileProviderError{QStringLiteral("test.NoFolder"),
                                                           QStringLiteral("Aucun dossier.")});
        });
    }

    std::shared_ptr<FileProviderProgress> globalProgress(FileProviderTransferKind kind) override
    {
        return kind == FileProviderTransferKind::upload ? m_system->m_upload : m_system->m_download;
    }

private:
    InMemoryFileProviderSystem *m_system;
    QString m_identifier;
};

InMemoryFileProviderSystem::InMemoryFileProviderSystem(QList<FileProviderDomain> registered)
    : m_registered(std::move(registered))
{}

void InMemoryFileProviderSystem::answer(std::function<void()> completion)
{
    if (m_answering == Answering::otherThread)
        QThreadPool::globalInstance()->start(std::move(completion));
    else
        QTimer::singleShot(0, this, std::move(completion));
}

void InMemoryFileProviderSystem::record(const QString &call, const QString &identifier)
{
    m_calls.append(identifier.isEmpty() ? call : call + u' ' + identifier);
}

qsizetype InMemoryFileProviderSystem::indexOf(const QString &identifier) const
{
    for (qsizetype i = 0; i < m_registered.size(); ++i) {
        if (m_registered[i].identifier == identifier)
            return i;
    }
    return -1;
}

int InMemoryFileProviderSystem::signalCount() const
{
    return int(std::count_if(m_calls.begin(), m_calls.end(),
                             [](const QString &call) { return call.startsWith(u"signal "); }));
}

void InMemoryFileProviderSystem::failRemoval(QString identifier, FileProviderError error)
{
    m_removalFailures.append({std::move(identifier), std::move(error)});
}

void InMemoryFileProviderSystem::completeStabilizations(std::optional<FileProviderError> error)
{
    for (const FileProviderCompletion &completion : std::exchange(m_heldStabilizations, {}))
        answer([completion, error] { completion(error); });
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
    record(QStringLiteral("domains"), {});
    const std::optional<FileProviderError> error = m_unavailable ? m_unavailable : m_listFailure;
    const QList<FileProviderDomain> registered = error ? QList<FileProviderDomain>() : m_registered;
    answer([completion, registered, error] { completion(registered, error); });
}

void InMemoryFileProviderSystem::addDomain(FileProviderDomain domain,
                                           FileProviderCompletion completion)
{
    record(QStringLiteral("add"), domain.identifier);
    std::optional<FileProviderError> error = m_unavailable ? m_unavailable : m_addFailure;
    m_addFailure.reset();
    if (!error && indexOf(domain.identifier) < 0)
        m_registered.append(domain);
    answer([completion, error] { completion(error); });
}

void InMemoryFileProviderSystem::removeDomain(FileProviderDomain domain,
                                              FileProviderCompletion completion)
{
    record(QStringLiteral("remove"), domain.identifier);
    std::optional<FileProviderError> error = m_unavailable;
    for (const auto &[identifier, failure] : std::as_const(m_removalFailures)) {
        if (identifier == domain.identifier)
            error = failure;
    }
    const qsizetype index = indexOf(domain.identifier);
    if (!error && index < 0)
        error = FileProviderError{QStringLiteral("test.NoSuchDomain"),
                                  QStringLiteral("Domaine inconnu.")};
    if (!error)
        m_registered.removeAt(index);
    answer([completion, error] { completion(error); });
}

void InMemoryFileProviderSystem::manager(
    QString identifier, std::function<void(std::shared_ptr<FileProviderManager>)> completion)
{
    record(QStringLiteral("manager"), identifier);
    std::shared_ptr<FileProviderManager> found;
    if (!m_unavailable && indexOf(identifier) >= 0)
        found = std::make_shared<Manager>(this, identifier);
    answer([completion, found] { completion(found); });
}

void InMemoryFileProviderSystem::setUserEnabled(QString identifier, bool enabled,
                                                FileProviderCompletion completion)
{
    record(enabled ? QStringLiteral("enable") : QStringLiteral("disable"), identifier);
    std::optional<FileProviderError> error = m_unavailable;
    if (!error && indexOf(identifier) < 0)
        error = FileProviderError{QStringLiteral("test.NoSuchDomain"),
                                  QStringLiteral("Domaine inconnu.")};
    if (!error)
        switchDomain(identifier, enabled);
    answer([completion, error] { completion(error); });
}

} // namespace OrvelanNimbal::Testing
