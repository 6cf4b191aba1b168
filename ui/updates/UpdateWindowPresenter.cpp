// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/UpdateWindowPresenter.h"

#include "PanelLog.h"
#include "TrayPanel.h"
#include "updates/Updater.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickView>
#include <QQuickWindow>

namespace OrvelanNimbal::Panel {

UpdateWindowPresenter::UpdateWindowPresenter(Updater &updater, TrayPanel &panel)
    : m_updater(updater)
    , m_panel(panel)
{
    m_updater.setPresenter(this);
}

UpdateWindowPresenter::~UpdateWindowPresenter()
{
    m_updater.setPresenter(nullptr);
}

bool UpdateWindowPresenter::isPanelFocused() const
{
    const QQuickView *view = m_panel.view();
    return view && view->isVisible() && view->isActive();
}

void UpdateWindowPresenter::showUpdateWindow()
{
    if (!m_window) {
        QQmlComponent component(
            m_panel.engine(),
            QUrl(QStringLiteral("qrc:/qt/qml/OrvelanNimbal/Panel/updates/UpdateWindow.qml")));
        std::unique_ptr<QObject> created(component.createWithInitialProperties(
            {{QStringLiteral("updater"), QVariant::fromValue(static_cast<QObject *>(&m_updater))}}));
        m_window.reset(qobject_cast<QQuickWindow *>(created.get()));
        if (!m_window) {
            qCCritical(panelLog).noquote() << component.errorString();
            return;
        }
        created.release();
    }
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

} // namespace OrvelanNimbal::Panel
