// SPDX-License-Identifier: GPL-3.0-or-later
// orvelan-nimbal: the tray application. It wires the libraries: one application model for the
// life of the process, and the tray icon with its panel over it.
#include "SingleInstance.h"
#include "TrayPanel.h"
#include "model/AppModel.h"

#include <QApplication>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelanNimbal_PanelPlugin)

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvelan-nimbal"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvelan Nimbal"));
    QApplication::setOrganizationDomain(QStringLiteral("orvelan.net"));
    QApplication::setDesktopFileName(QStringLiteral("net.orvelan.nimbal"));

    // A second launch shows the first one's panel and leaves.
    OrvelanNimbal::Panel::SingleInstance instance;
    if (!instance.claim())
        return OrvelanNimbal::Panel::SingleInstance::raiseRunning() ? 0 : 1;

    // Building the model starts the restore of a stored session.
    OrvelanNimbal::AppModel model;
    OrvelanNimbal::Panel::TrayPanel panel;
    QObject::connect(&instance, &OrvelanNimbal::Panel::SingleInstance::raiseRequested, &panel,
                     &OrvelanNimbal::Panel::TrayPanel::open);
    panel.start(&model);
    return app.exec();
}
