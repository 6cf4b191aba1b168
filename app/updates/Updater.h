// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "updates/Appcast.h"
#include "updates/UpdateConfiguration.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace OrvelanNimbal {

class ApiClient;
class Clock;
class UpdateDesktop;
class UpdatePresenter;

// The application's updater. In the background it reads the release feed shortly after launch
// and then once a day; an update found while the panel is not in focus becomes the pending
// version (the gentle reminder the status view shows as a banner), one found while the user is
// looking is shown at once. The user's own check brings the update window forward and shows
// what it finds. The pending version is cleared when the user attends to the update (the window
// comes up) and when the update session ends (the window is dismissed).
//
// The update window follows one session: its state, the release found, the download's
// progress, and a message for the user. Lives on the main thread.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled CONSTANT)
    Q_PROPERTY(QString pendingVersion READ pendingVersion NOTIFY pendingVersionChanged)
    Q_PROPERTY(QString shortVersion READ shortVersion CONSTANT)
    Q_PROPERTY(QString longVersion READ longVersion CONSTANT)
    Q_PROPERTY(State state READ state NOTIFY sessionChanged)
    Q_PROPERTY(QString foundVersion READ foundVersion NOTIFY sessionChanged)
    Q_PROPERTY(QString releaseNotes READ releaseNotes NOTIFY sessionChanged)
    Q_PROPERTY(QUrl releaseNotesLink READ releaseNotesLink NOTIFY sessionChanged)
    Q_PROPERTY(QString message READ message NOTIFY sessionChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)

public:
    // Where the update session stands; what the window shows.
    enum class State {
        Idle,           // no session: the window is closed
        Checking,       // the user asked; the feed is being read
        UpToDate,       // nothing newer than this build
        Available,      // a release is offered: install, later, or skip it
        Downloading,    // with progress
        Verifying,      // length and signature
        ReadyToRestart, // the AppImage was replaced; a restart runs the new version
        HandedOver,     // the verified package is with the user's package installer
        Failed,         // the message says what went wrong
    };
    Q_ENUM(State)

    // Starts the background schedule at once, on the client's clock (unless the build does
    // not update itself). The client carries the requests (the feed and the downloads are
    // addresses outside the API).
    explicit Updater(std::shared_ptr<ApiClient> client,
                     UpdateConfiguration configuration = UpdateConfiguration::compiledIn(),
                     std::shared_ptr<UpdateDesktop> desktop = {}, QObject *parent = nullptr);
    ~Updater() override;

    // The panel, once it exists; not owned, and cleared (null) by the panel before it goes.
    // Without one, the panel counts as closed.
    void setPresenter(UpdatePresenter *presenter) { m_presenter = presenter; }

    // Whether this build updates itself at all; when not, nothing is ever checked or offered.
    bool enabled() const { return m_configuration.selfUpdating; }
    // The display version of an update found in the background and not yet brought to the
    // user's attention; empty when none.
    QString pendingVersion() const { return m_pendingVersion; }
    // This build's version, "?" when unknown; and with its build number, "1.4 (27)", where a
    // missing number reads "?".
    QString shortVersion() const;
    QString longVersion() const;

    State state() const { return m_state; }
    // The release the session is about (its display version, notes and link); empty otherwise.
    QString foundVersion() const;
    QString releaseNotes() const;
    QUrl releaseNotesLink() const;
    // What the window says under its title for the current state.
    QString message() const;
    // Of the download, from 0 to 1.
    double progress() const { return m_progress; }

    // From the banner and the update button: brings the update window forward and checks now.
    Q_INVOKABLE void checkForUpdates();
    // "Installer": downloads, verifies and installs the offered release.
    Q_INVOKABLE void install();
    // "Plus tard", and closing the window: ends the session, stopping a download under way.
    Q_INVOKABLE void remindLater();
    // "Ignorer cette version": never offered again by the background checks (the user's own
    // check still shows it), then the session ends.
    Q_INVOKABLE void skipThisVersion();
    // After an AppImage replacement: runs the new version in place of this one.
    Q_INVOKABLE void restart();

signals:
    void pendingVersionChanged();
    void sessionChanged();
    void progressChanged();

private:
    static QCoro::Task<> runSchedule(QPointer<Updater> self, std::shared_ptr<Clock> clock,
                                     std::chrono::milliseconds first,
                                     std::chrono::milliseconds interval, CancellationToken cancel);
    void startCheck(bool userAsked);
    QCoro::Task<> runCheck();
    QCoro::Task<> runInstall(AppcastItem release);
    void presentCheckResult(const std::optional<AppcastItem> &release, const QString &failure);
    void offerFromBackground(const AppcastItem &release);

    void showWindow();
    void beginSession(State state, std::optional<AppcastItem> release = {});
    void setState(State state, QString failure = {});
    void setProgress(double progress);
    void setPendingVersion(const QString &version);
    bool isSkipped(const AppcastItem &release) const;

    const std::shared_ptr<ApiClient> m_client;
    const UpdateConfiguration m_configuration;
    const std::shared_ptr<UpdateDesktop> m_desktop;
    UpdatePresenter *m_presenter = nullptr;
    CancellationSource m_lifetime; // cancelled when the updater goes

    QString m_pendingVersion;

    bool m_checking = false;  // a check is in flight; another request joins it
    bool m_userWaits = false; // the user asked while it runs: its result goes to the window

    State m_state = State::Idle;
    std::optional<AppcastItem> m_release;
    QString m_failure;
    double m_progress = 0;
    quint64 m_session = 0; // a result meant for an older session is dropped
    std::unique_ptr<CancellationSource> m_install;
    // Installed during this run, though this process still is the old version: not offered
    // again.
    std::optional<UpdateVersion> m_installed;
};

} // namespace OrvelanNimbal
