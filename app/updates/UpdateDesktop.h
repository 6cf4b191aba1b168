// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal {

// What the updater asks of the user interface. The panel implements it; without one, the panel
// counts as closed and nothing is shown, so a found update waits as the pending version.
class UpdatePresenter {
public:
    virtual ~UpdatePresenter() = default;

    // Whether the panel is open and has the focus: the user is looking at us, and a found
    // update may be shown at once rather than left as a discreet reminder.
    virtual bool isPanelFocused() const = 0;
    // Brings the application forward and shows the update window, which reads the updater's
    // session (state, release, progress, message) and follows it from then on.
    virtual void showUpdateWindow() = 0;
};

// What the updater asks of the desktop once a release is verified.
class UpdateDesktop {
public:
    virtual ~UpdateDesktop() = default;

    // Hands the verified package at `path` to the user's package installer; false when nothing
    // would take it.
    virtual bool openPackage(const QString &path) = 0;
    // Starts the AppImage at `image` anew and ends this process; false when it could not be
    // started, this process then going on.
    virtual bool relaunch(const QString &image) = 0;
};

} // namespace OrvelanNimbal
