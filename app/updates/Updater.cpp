// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/Updater.h"

#include "client/ApiClient.h"
#include "updates/ReleaseServer.h"
#include "updates/UpdateDesktop.h"
#include "updates/UpdateError.h"
#include "updates/UpdateInstallation.h"
#include "updates/UpdateLogging_p.h"
#include "updates/XdgUpdateDesktop.h"

#include <QPointer>
#include <QSettings>

namespace OrvelanNimbal {

Q_LOGGING_CATEGORY(lcUpdates, "net.orvelan.nimbal.sync.updates", QtInfoMsg)

namespace {

// The version the user chose to ignore ("Ignorer cette version"), as the feed wrote it.
const QString skippedVersionKey = QStringLiteral("skippedUpdateVersion");

} // namespace

Updater::Updater(std::shared_ptr<ApiClient> client, UpdateConfiguration configuration,
                 std::shared_ptr<UpdateDesktop> desktop, QObject *parent)
    : QObject(parent)
    , m_client(std::move(client))
    , m_configuration(std::move(configuration))
    , m_desktop(desktop ? std::move(desktop) : std::make_shared<XdgUpdateDesktop>())
{
    if (enabled())
        runSchedule(this, m_client->clock(), m_configuration.firstCheckDelay,
                    m_configuration.checkInterval, m_lifetime.token());
}

Updater::~Updater()
{
    m_lifetime.cancel();
}

QString Updater::shortVersion() const
{
    return m_configuration.currentVersion.isEmpty() ? QStringLiteral("?")
                                                    : m_configuration.currentVersion;
}

QString Updater::longVersion() const
{
    const QString build =
        m_configuration.buildNumber.isEmpty() ? QStringLiteral("?") : m_configuration.buildNumber;
    return shortVersion() + QStringLiteral(" (") + build + u')';
}

QString Updater::foundVersion() const
{
    return m_release ? m_release->displayVersion : QString();
}

QString Updater::releaseNotes() const
{
    return m_release ? m_release->releaseNotes : QString();
}

QUrl Updater::releaseNotesLink() const
{
    return m_release ? m_release->releaseNotesLink : QUrl();
}

QString Updater::message() const
{
    switch (m_state) {
    case State::Idle:
        return {};
    case State::Checking:
        return QStringLiteral("Recherche des mises à jour…");
    case State::UpToDate:
        return QStringLiteral("Votre version est à jour.");
    case State::Available:
        return QStringLiteral("Orvelan Nimbal %1 est disponible. Vous avez la version %2.")
            .arg(foundVersion(), shortVersion());
    case State::Downloading:
        return QStringLiteral("Téléchargement d'Orvelan Nimbal %1…").arg(foundVersion());
    case State::Verifying:
        return QStringLiteral("Vérification de la signature…");
    case State::ReadyToRestart:
        return QStringLiteral("Orvelan Nimbal %1 est installé. Redémarrez pour l'utiliser.")
            .arg(foundVersion());
    case State::HandedOver:
        return QStringLiteral("Le paquet vérifié d'Orvelan Nimbal %1 est ouvert dans votre "
                              "installateur de paquets : terminez-y l'installation, puis "
                              "rouvrez l'application.")
            .arg(foundVersion());
    case State::Failed:
        return m_failure;
    }
    Q_UNREACHABLE();
}

// --- Checking ---

// Checks at the configured times until the updater goes. A check still running when the next
// time comes is not doubled: startCheck() joins it.
QCoro::Task<> Updater::runSchedule(QPointer<Updater> self, std::shared_ptr<Clock> clock,
                                   std::chrono::milliseconds first,
                                   std::chrono::milliseconds interval, CancellationToken cancel)
{
    try {
        co_await clock->sleep(first, cancel);
        while (self) {
            self->startCheck(false);
            co_await clock->sleep(interval, cancel);
        }
    } catch (const OperationCancelled &) {
    }
}

void Updater::checkForUpdates()
{
    if (!enabled())
        return;
    showWindow();
    // An installation under way, or one waiting for its restart, is what the window shows.
    if (m_state == State::Downloading || m_state == State::Verifying
        || m_state == State::ReadyToRestart)
        return;
    beginSession(State::Checking);
    startCheck(true);
}

void Updater::startCheck(bool userAsked)
{
    m_userWaits = m_userWaits || userAsked;
    if (m_checking)
        return;
    m_checking = true;
    runCheck();
}

QCoro::Task<> Updater::runCheck()
{
    QPointer self(this);
    const auto client = m_client;
    const QUrl feedURL = m_configuration.feedURL;
    std::optional<AppcastItem> found;
    QString failure;
    try {
        const QList<AppcastItem> items = co_await fetchAppcast(client, feedURL, m_lifetime.token());
        if (!self)
            co_return;
        const auto current =
            UpdateVersion::parse(m_configuration.currentVersion).value_or(UpdateVersion());
        found = newestUpdate(items, current, UpdateVersion::parse(m_configuration.systemVersion));
    } catch (const UpdateError &error) {
        failure = error.errorDescription();
    } catch (const OperationCancelled &) {
        co_return;
    }
    if (!self)
        co_return;
    m_checking = false;
    // The user's check is answered in the window, if the window still waits for it.
    if (std::exchange(m_userWaits, false) && m_state == State::Checking) {
        presentCheckResult(found, failure);
        co_return;
    }
    if (!failure.isEmpty())
        qCWarning(lcUpdates, "background check failed: %s", qUtf8Printable(failure));
    else if (found)
        offerFromBackground(*found);
}

void Updater::presentCheckResult(const std::optional<AppcastItem> &release, const QString &failure)
{
    if (!failure.isEmpty())
        setState(State::Failed, failure);
    else if (release)
        beginSession(State::Available, release);
    else
        setState(State::UpToDate);
}

// The gentle reminder: an update found while nobody looks waits as the pending version.
void Updater::offerFromBackground(const AppcastItem &release)
{
    if (isSkipped(release) || (m_installed && release.version <= *m_installed))
        return;
    // A session already open shows what it shows; the next check will offer this again.
    if (m_state != State::Idle)
        return;
    if (m_presenter && m_presenter->isPanelFocused()) {
        beginSession(State::Available, release);
        showWindow();
    } else {
        setPendingVersion(release.displayVersion);
    }
}

bool Updater::isSkipped(const AppcastItem &release) const
{
    const auto skipped = UpdateVersion::parse(QSettings().value(skippedVersionKey).toString());
    return skipped && *skipped == release.version;
}

// --- The session ---

void Updater::install()
{
    if (m_state != State::Available || !m_release)
        return;
    runInstall(*m_release);
}

QCoro::Task<> Updater::runInstall(AppcastItem release)
{
    QPointer self(this);
    const quint64 session = m_session;
    m_install = std::make_unique<CancellationSource>(m_lifetime.token());
    const CancellationToken cancel = m_install->token();
    setProgress(0);
    setState(State::Downloading);
    const double total = double(release.enclosureLength);
    InstallObserver observer{
        .downloaded =
            [self, total](qint64 received) {
                if (self)
                    self->setProgress(std::min(1.0, double(received) / total));
            },
        .verifying =
            [self] {
                if (self)
                    self->setState(State::Verifying);
            },
    };
    try {
        const InstallOutcome outcome = co_await installRelease(
            m_client, m_configuration, release, m_desktop, std::move(observer), cancel);
        if (!self || session != m_session)
            co_return;
        m_installed = release.version;
        setState(outcome == InstallOutcome::replacedAppImage ? State::ReadyToRestart
                                                             : State::HandedOver);
    } catch (const UpdateError &error) {
        if (self && session == m_session)
            setState(State::Failed, error.errorDescription());
    } catch (const OperationCancelled &) {
        // Dismissed, or the updater went: nothing is left to show.
    }
}

void Updater::remindLater()
{
    beginSession(State::Idle);
}

void Updater::skipThisVersion()
{
    if (m_release)
        QSettings().setValue(skippedVersionKey, m_release->version.text());
    remindLater();
}

void Updater::restart()
{
    if (m_state != State::ReadyToRestart || !m_configuration.appImagePath)
        return;
    if (!m_desktop->relaunch(*m_configuration.appImagePath))
        setState(State::Failed, UpdateError(UpdateError::Kind::relaunchFailed).errorDescription());
}

// The window coming up is the user attending to the update.
void Updater::showWindow()
{
    setPendingVersion({});
    if (m_presenter)
        m_presenter->showUpdateWindow();
}

// A new session (or none, for Idle) replaces the old one: its download stops, and whatever the
// old one still had under way finds its session gone when it ends. Ending a session clears the
// pending version.
void Updater::beginSession(State state, std::optional<AppcastItem> release)
{
    ++m_session;
    if (m_install)
        std::exchange(m_install, {})->cancel();
    m_release = std::move(release);
    if (state == State::Idle)
        setPendingVersion({});
    setState(state);
}

void Updater::setState(State state, QString failure)
{
    m_state = state;
    m_failure = std::move(failure);
    emit sessionChanged();
}

void Updater::setProgress(double progress)
{
    if (progress == m_progress)
        return;
    m_progress = progress;
    emit progressChanged();
}

void Updater::setPendingVersion(const QString &version)
{
    if (version == m_pendingVersion)
        return;
    m_pendingVersion = version;
    emit pendingVersionChanged();
}

} // namespace OrvelanNimbal
