// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QRect>

#include <memory>

class QMenu;
class QQmlEngine;
class QQuickView;
class QSystemTrayIcon;

namespace OrvelanNimbal {
class PanelModel;
}

namespace OrvelanNimbal::Panel {

// The application's whole interface: a tray icon whose left click opens and closes the panel
// (the views of MenuContent over the model) next to it, closed again when it loses the focus,
// and a menu with the pause or the resume of the synchronisation and the quit action. Where the
// desktop has no tray, the panel is an ordinary small window instead, shown at start.
class TrayPanel : public QObject {
    Q_OBJECT

public:
    explicit TrayPanel(QObject *parent = nullptr);
    ~TrayPanel() override;

    // The engine of the panel's views (a model written in QML must be made in it).
    QQmlEngine *engine() const;
    // Puts the views over `model`, the application model that outlives this object, and shows
    // the tray icon, or the window where no tray host runs.
    void start(PanelModel *model);
    bool usesTray() const { return m_tray != nullptr; }
    QQuickView *view() const { return m_view.get(); }

public slots:
    // A click on the icon: opens the panel next to `anchor`, or closes it when open.
    void toggle(const QRect &anchor);
    // Brings the panel up (a second launch asks for it).
    void open();

signals:
    // The panel's first frame after it was opened is on screen.
    void panelDrawn();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showAt(const QRect &anchor);
    QRect iconAnchor() const;

    std::unique_ptr<QQuickView> m_view;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<QMenu> m_menu;
    // When the panel last closed because it lost the focus: a click on the icon closes it
    // that way first, and must not open it again at once.
    QElapsedTimer m_closedByFocusLoss;
    QElapsedTimer m_opening;
    bool m_awaitingFrame = false;
};

} // namespace OrvelanNimbal::Panel
