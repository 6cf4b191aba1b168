// SPDX-License-Identifier: GPL-3.0-or-later
// orvelan-nimbal: the tray application. It wires the libraries: one application model for the
// life of the process, and the tray icon with its panel over it.
#include "MaskedFieldAccessibility.h"
#include "SingleInstance.h"
#include "TrayPanel.h"
#include "config/LogFile.h"
#include "domains/DBusFileProviderSystem.h"
#include "model/AppModel.h"
#include "updates/UpdateWindowPresenter.h"

#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <optional>
#include <string_view>

Q_IMPORT_QML_PLUGIN(OrvelanNimbal_AppPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_PanelPlugin)

// --version and --help are answered before anything needs a display, from any terminal.
static std::optional<int> answerInformationOption(int argc, char *argv[])
{
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--version") {
            std::printf("orvelan-nimbal %s\n", NIMBAL_VERSION);
            return 0;
        }
        if (argument == "--help") {
            std::printf("Utilisation : orvelan-nimbal [--version | --help]\n\n"
                        "L'application Orvelan Nimbal : une icône dans la zone de notification "
                        "ouvre son panneau.\nUne seconde ouverture montre le panneau de la "
                        "première. Voir aussi : man orvelan-nimbal\n");
            return 0;
        }
    }
    return std::nullopt;
}

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerInformationOption(argc, argv))
        return *status;
    // The panel is small and still: Qt Quick's software renderer draws it with no GL context,
    // in a third of the memory and with a first frame in milliseconds rather than seconds (Mesa's
    // software GL under Xvfb: 150 MB resident against 56 MB). QT_QUICK_BACKEND still decides.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication app(argc, argv);
    OrvelanNimbal::Panel::installMaskedFieldAccessibility();
    QApplication::setApplicationName(QStringLiteral("orvelan-nimbal"));
    OrvelanNimbal::LogFile::keepFor(QStringLiteral("orvelan-nimbal"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvelan Nimbal"));
    QApplication::setOrganizationDomain(QStringLiteral("orvelan.net"));
    QApplication::setDesktopFileName(QStringLiteral("net.orvelan.nimbal"));
    // The tray icon keeps the application: closing the update window or the panel's own window
    // does not quit it (the panel's quit button does).
    QApplication::setQuitOnLastWindowClosed(false);

    // A second launch shows the first one's panel and leaves.
    OrvelanNimbal::Panel::SingleInstance instance;
    if (!instance.claim())
        return OrvelanNimbal::Panel::SingleInstance::raiseRunning() ? 0 : 1;

    // Building the model starts the restore of a stored session. The drive's folder is the
    // extension's, over the session bus, which starts it when first called.
    OrvelanNimbal::AppModel model(OrvelanNimbal::desktopEnvironment(
        std::make_shared<OrvelanNimbal::DBusFileProviderSystem>()));
    OrvelanNimbal::Panel::TrayPanel panel;
    QObject::connect(&instance, &OrvelanNimbal::Panel::SingleInstance::raiseRequested, &panel,
                     &OrvelanNimbal::Panel::TrayPanel::open);
    panel.start(&model);
    // Goes before the panel and the model: the updater is told first.
    OrvelanNimbal::Panel::UpdateWindowPresenter updates(*model.updater(), panel);
    return app.exec();
}
