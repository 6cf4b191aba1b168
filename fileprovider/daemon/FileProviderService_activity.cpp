// SPDX-License-Identifier: GPL-3.0-or-later
// The extension's pauses, and what it tells of a domain's state: what is left, the state of a
// path, the conflicts.
#include "Logging.h"
#include "async/OffMainThread.h"
#include "config/OrvelanNimbal.h"
#include "daemon/FileProviderService.h"
#include "domain/DomainHost.h"
#include "engine/ItemStatus.h"
#include "engine/Journal.h"
#include "engine/RemainingWork.h"
#include "sync/DomainSummary.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QFile>

#include <algorithm>

namespace OrvelanNimbal::FileProvider {

namespace {

// A timer is not trusted across a suspend or a change of the clock: the end of a pause is looked
// at again at least this often.
constexpr qint64 longestPauseWaitSeconds = 600;

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

// A connection of its own to the domain's journal, read beside the engine's; an empty one when
// the journal belongs to another folder or is not there yet (nothing synchronised then).
// Blocking.
std::unique_ptr<Journal> openJournal(const QString &identifier)
{
    const QString path = DomainHost::journalFile(identifier);
    const std::optional<QString> marker =
        LocalFolder(DomainHost::folderFor(identifier)).readMarker();
    if (!path.isEmpty() && marker && QFile::exists(path)) {
        auto journal = std::make_unique<Journal>(path);
        if (journal->folderID() == *marker)
            return journal;
    }
    return std::make_unique<Journal>(QStringLiteral(":memory:"));
}

// Answers `call` with what `work` gives (the reply's arguments), worked out off the main thread.
template <class Work>
QCoro::Task<> replyOffThread(QDBusMessage call, QDBusConnection connection, Work work)
{
    try {
        const QVariantList arguments = co_await runOffMainThread(std::move(work));
        connection.send(call.createReply(arguments));
    } catch (const std::exception &error) {
        const ExtensionError refusal = ExtensionError::failed(QString::fromUtf8(error.what()));
        connection.send(call.createErrorReply(refusal.name, refusal.message));
    }
}

} // namespace

bool FileProviderService::isPaused(const QString &identifier) const
{
    return m_states.isPaused(identifier, now());
}

bool FileProviderService::expirePauses()
{
    const QStringList ended = m_states.expire(now());
    if (!ended.isEmpty())
        m_states.save();
    for (const QString &identifier : ended) {
        qCInfo(logExtension).noquote()
            << QStringLiteral("Fin de la pause de %1.").arg(redacted(identifier));
        announceActivity(identifier);
    }
    if (const std::optional<qint64> end = m_states.nextEnd())
        m_pauseEnd.start(
            std::chrono::seconds(std::clamp<qint64>(*end - now(), 0, longestPauseWaitSeconds)));
    else
        m_pauseEnd.stop();
    return !ended.isEmpty();
}

void FileProviderService::announceActivity(const QString &identifier)
{
    const DomainStates::State state = m_states.state(identifier);
    emit ActivityChanged(identifier, {{QStringLiteral("paused"), isPaused(identifier)},
                                      {QStringLiteral("pausedUntil"), state.pausedUntil},
                                      {QStringLiteral("lastSync"), state.lastSync}});
}

void FileProviderService::recordSynchronised(const QString &identifier)
{
    m_states.synchronised(identifier, now());
    m_states.save();
    announceActivity(identifier);
}

void FileProviderService::Pause(const QString &identifier, qlonglong until)
{
    if (!requireDomain(identifier))
        return;
    if (until < 0 || (until != 0 && until <= now())) {
        refuse(
            ExtensionError::invalidArgument(QStringLiteral("La fin de la pause est déjà passée.")));
        return;
    }
    m_states.pause(identifier, until);
    if (!m_states.save()) {
        m_states.resume(identifier);
        refuse(ExtensionError::failed(
            QStringLiteral("L'état de l'extension n'a pas pu être enregistré.")));
        return;
    }
    qCInfo(logExtension).noquote()
        << (until == 0 ? QStringLiteral("Synchronisation de %1 en pause.").arg(redacted(identifier))
                       : QStringLiteral("Synchronisation de %1 en pause jusqu'à %2.")
                             .arg(redacted(identifier),
                                  QDateTime::fromSecsSinceEpoch(until).toString(Qt::ISODate)));
    expirePauses();
    announceActivity(identifier);
    // Answered once the domain's work has stopped: nothing moves after the caller hears back.
    answerLater(applySwitches());
}

void FileProviderService::Resume(const QString &identifier)
{
    if (!requireDomain(identifier))
        return;
    const bool wasPaused = isPaused(identifier);
    m_states.resume(identifier);
    m_states.save();
    expirePauses();
    if (wasPaused) {
        qCInfo(logExtension).noquote()
            << QStringLiteral("Reprise de la synchronisation de %1.").arg(redacted(identifier));
        announceActivity(identifier);
    }
    answerLater(applySwitches());
}

bool FileProviderService::PauseState(const QString &identifier, qlonglong &until)
{
    if (!requireDomain(identifier))
        return false;
    const bool paused = isPaused(identifier);
    until = paused ? m_states.state(identifier).pausedUntil : 0;
    return paused;
}

void FileProviderService::endPausesDue()
{
    if (expirePauses())
        start();
}

QVariantMap FileProviderService::Activity(const QString &identifier)
{
    if (!requireDomain(identifier) || !calledFromDBus())
        return {};
    setDelayedReply(true);
    const DomainStates::State state = m_states.state(identifier);
    QVariantMap activity{{QStringLiteral("paused"), isPaused(identifier)},
                         {QStringLiteral("pausedUntil"), state.pausedUntil},
                         {QStringLiteral("lastSync"), state.lastSync}};
    auto work = [identifier, activity]() mutable {
        const LocalFolder folder(DomainHost::folderFor(identifier));
        const RemainingWork left = RemainingWork::of(openJournal(identifier)->items(), folder);
        activity.insert(QStringLiteral("itemsToSend"), left.itemsToSend);
        activity.insert(QStringLiteral("bytesToSend"), left.bytesToSend);
        activity.insert(QStringLiteral("itemsToReceive"), left.itemsToReceive);
        activity.insert(QStringLiteral("bytesToReceive"), left.bytesToReceive);
        return QVariantList{activity};
    };
    replyOffThread(message(), connection(), std::move(work));
    return {};
}

QString FileProviderService::ItemStatus(const QString &identifier, const QString &path,
                                        QString &reason)
{
    Q_UNUSED(reason)
    if (!requireDomain(identifier) || !calledFromDBus())
        return {};
    if (path.startsWith(u'/')) {
        refuse(ExtensionError::invalidArgument(
            QStringLiteral("Le chemin doit être relatif au dossier du compte.")));
        return {};
    }
    setDelayedReply(true);
    const auto host = m_hosts.find(identifier);
    QSet<QString> sending = host != m_hosts.end() ? host->second->sendingPaths() : QSet<QString>();
    auto work = [identifier, path, sending = std::move(sending)]() mutable {
        const std::unique_ptr<Journal> journal = openJournal(identifier);
        const LocalFolder folder(DomainHost::folderFor(identifier));
        const auto found = statusOf({*journal, folder, std::move(sending)}, path);
        return QVariantList{FileProvider::ItemStatus::word(found.state),
                            FileProvider::ItemStatus::word(found.reason)};
    };
    replyOffThread(message(), connection(), std::move(work));
    return {};
}

QList<QVariantMap> FileProviderService::Conflicts(const QString &identifier)
{
    if (!requireDomain(identifier))
        return {};
    QList<QVariantMap> conflicts;
    const std::optional<DomainSummary> summary = DomainSummary::load(summaryURL(identifier));
    for (const DomainSummary::Conflict &conflict :
         summary ? summary->conflicts : QList<DomainSummary::Conflict>())
        conflicts.append({{QStringLiteral("originalName"), conflict.originalName},
                          {QStringLiteral("copyName"), conflict.copyName},
                          {QStringLiteral("date"), conflict.date.toSecsSinceEpoch()}});
    return conflicts;
}

} // namespace OrvelanNimbal::FileProvider
