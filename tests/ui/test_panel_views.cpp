// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the QML test cases of this folder against the panel's module, linked in statically.
#include <QObject>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(OrvelanNimbal_AppPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_PanelPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_Panel_PreviewPlugin)

class PanelTestSetup : public QObject {
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine) { engine->addImportPath(QStringLiteral("qrc:/qt/qml")); }
};

QUICK_TEST_MAIN_WITH_SETUP(panel_views, PanelTestSetup)

#include "test_panel_views.moc"
