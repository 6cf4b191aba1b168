// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrayPanel.h"

#include "PanelLog.h"
#include "PanelPlacement.h"
#include "PauseEntries.h"
#include "TrayIconArt.h"
#include "model/PanelModel.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSystemTrayIcon>

namespace OrvelanNimbal::Panel {

namespace {

const QString title = QStringLiteral("Orvelan Nimbal");

// A click on the icon within this time after a focus loss is the click that caused it.
constexpr qint64 focusLossClickWindowMs = 300;

} // namespace

TrayPanel::TrayPanel(QObject *parent)
    : QObject(parent)
    , m_view(std::make_unique<QQuickView>())
{
    m_view->setTitle(title);
    m_view->setColor(QGuiApplication::palette().color(QPalette::Window));
    m_view->setResizeMode(QQuickView::SizeViewToRootObject);
    m_view->engine()->addImportPath(QStringLiteral("qrc:/qt/qml"));
    connect(m_view->engine(), &QQmlEngine::quit, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);

    connect(m_view.get(), &QQuickWindow::frameSwapped, this, [this] {
        if (!m_awaitingFrame)
            return;
        m_awaitingFrame = false;
        qCDebug(panelLog) << "Panneau affiché en" << m_opening.elapsed() << "ms";
        emit panelDrawn();
    });
    connect(m_view.get(), &QWindow::activeChanged, this, [this] {
        if (usesTray() && m_view->isVisible() && !m_view->isActive()) {
            m_view->hide();
            m_closedByFocusLoss.start();
        }
    });
    qApp->installEventFilter(this);
}

TrayPanel::~TrayPanel()
{
    qApp->removeEventFilter(this);
}

QQmlEngine *TrayPanel::engine() const
{
    return m_view->engine();
}

void TrayPanel::start(PanelModel *model)
{
    m_view->setInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue<QObject *>(model)}});
    m_view->setSource(QUrl(QStringLiteral("qrc:/qt/qml/OrvelanNimbal/Panel/scene/MenuContent.qml")));
    for (const auto &error : m_view->errors())
        qCCritical(panelLog).noquote() << error.toString();

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCInfo(panelLog) << "Aucune zone de notification sur ce bureau : le panneau s'ouvre dans "
                            "une fenêtre ordinaire.";
        QGuiApplication::setQuitOnLastWindowClosed(false);
        open();
        return;
    }
    m_menu = std::make_unique<QMenu>();
    addPauseEntries(*m_menu, *model);
    m_menu->addAction(QStringLiteral("Quitter Orvelan Nimbal"), qApp, &QCoreApplication::quit);
    m_tray = std::make_unique<QSystemTrayIcon>(trayIcon(desktopIsDark()));
    m_tray->setToolTip(title);
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    toggle(iconAnchor());
            });
    m_view->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    m_tray->show();
}

void TrayPanel::toggle(const QRect &anchor)
{
    if (m_view->isVisible()) {
        m_view->hide();
        return;
    }
    if (m_closedByFocusLoss.isValid() && m_closedByFocusLoss.elapsed() < focusLossClickWindowMs)
        return;
    showAt(anchor);
}

void TrayPanel::open()
{
    showAt(iconAnchor());
}

void TrayPanel::showAt(const QRect &anchor)
{
    m_opening.start();
    m_awaitingFrame = true;
    if (QQuickItem *root = m_view->rootObject())
        QMetaObject::invokeMethod(root, "appear");
    if (usesTray()) {
        const QScreen *screen = QGuiApplication::screenAt(anchor.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        m_view->setPosition(panelPosition(anchor, m_view->size(), screen->availableGeometry()));
    }
    m_view->show();
    m_view->raise();
    m_view->requestActivate();
}

// Where the icon is; a tray host that keeps it to itself leaves the pointer as the best guess.
QRect TrayPanel::iconAnchor() const
{
    const QRect icon = m_tray ? m_tray->geometry() : QRect();
    return icon.isValid() && !icon.isEmpty() ? icon : QRect(QCursor::pos(), QSize(1, 1));
}

bool TrayPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        m_view->setColor(QGuiApplication::palette().color(QPalette::Window));
        if (m_tray)
            m_tray->setIcon(trayIcon(desktopIsDark()));
    }
    return QObject::eventFilter(watched, event);
}

} // namespace OrvelanNimbal::Panel
