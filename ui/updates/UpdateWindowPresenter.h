// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "updates/UpdateDesktop.h"

#include <QPointer>

#include <memory>

class QQmlEngine;
class QQuickWindow;

namespace OrvelanNimbal {
class Updater;
}

namespace OrvelanNimbal::Panel {

class TrayPanel;

// The panel's side of the updater: whether the user is looking at the panel, and the update
// window, made in the panel's engine the first time it is needed and kept for the session (it
// hides itself when the session ends). Registers itself with the updater and leaves it before
// going, so that the updater never reaches a presenter that is gone.
class UpdateWindowPresenter final : public UpdatePresenter {
public:
    UpdateWindowPresenter(Updater &updater, TrayPanel &panel);
    ~UpdateWindowPresenter() override;

    bool isPanelFocused() const override;
    void showUpdateWindow() override;

    QQuickWindow *window() const { return m_window.get(); }

private:
    Updater &m_updater;
    TrayPanel &m_panel;
    std::unique_ptr<QQuickWindow> m_window;
};

} // namespace OrvelanNimbal::Panel
