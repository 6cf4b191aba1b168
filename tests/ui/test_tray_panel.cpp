// SPDX-License-Identifier: GPL-3.0-or-later
#include "PanelPlacement.h"
#include "SingleInstance.h"
#include "TrayPanel.h"

#include <QApplication>
#include <QDBusConnection>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelanNimbal_AppPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_PanelPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_Panel_PreviewPlugin)

using namespace OrvelanNimbal::Panel;

class TestTrayPanel : public QObject {
    Q_OBJECT

private slots:
    void placement_data()
    {
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<QPoint>("expected");
        // A 1920 × 1080 screen whose top bar takes 32 pixels; the panel is 320 × 400.
        QTest::newRow("top bar: below the icon, centred on it")
            << QRect(1000, 4, 24, 24) << QPoint(851, 36);
        QTest::newRow("top bar, icon in the corner: kept on screen")
            << QRect(1890, 4, 24, 24) << QPoint(1600, 36);
        QTest::newRow("bottom panel: above the icon")
            << QRect(1000, 1050, 24, 24) << QPoint(851, 1050 - 4 - 400);
        QTest::newRow("bottom panel, icon at the left edge")
            << QRect(2, 1050, 24, 24) << QPoint(0, 646);
        QTest::newRow("only the click point is known") << QRect(QPoint(500, 10), QSize(1, 1))
                                                     << QPoint(340, 36);
    }

    void placement()
    {
        QFETCH(QRect, icon);
        QFETCH(QPoint, expected);
        QCOMPARE(panelPosition(icon, QSize(320, 400), QRect(0, 32, 1920, 1048)), expected);
    }

    // Offscreen there is no tray host: the panel is an ordinary window, shown at once, and
    // the first frame is reported.
    void windowWithoutTray()
    {
        TrayPanel panel;
        QQmlComponent standIn(panel.engine());
        standIn.setData("import OrvelanNimbal.Panel.Preview\nStandInModel {}", QUrl());
        std::unique_ptr<QObject> model(standIn.create());
        QVERIFY2(model, qPrintable(standIn.errorString()));
        QSignalSpy drawn(&panel, &TrayPanel::panelDrawn);
        panel.start(model.get());
        QVERIFY(!panel.usesTray());
        QVERIFY(panel.view()->isVisible());
        QCOMPARE(panel.view()->title(), QStringLiteral("Orvelan Nimbal"));
        QCOMPARE(panel.view()->width(), 320);
        QVERIFY(drawn.wait(5000));
        QVERIFY(!(panel.view()->flags() & Qt::FramelessWindowHint));
        // The sign-in screen is up, its e-mail field holding the focus.
        QTRY_COMPARE(panel.view()->activeFocusItem()->property("placeholderText").toString(),
                     QStringLiteral("Adresse e-mail"));
    }

    void oneInstancePerSession()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
        SingleInstance first;
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);
        QVERIFY(first.claim());
        // A later launch: another connection to the same bus.
        const QDBusConnection later =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("later"));
        SingleInstance second;
        QVERIFY(!second.claim(later));
        QVERIFY(SingleInstance::raiseRunning(later));
        QTRY_COMPARE(raised.count(), 1);
    }
};

QTEST_MAIN(TestTrayPanel)
#include "test_tray_panel.moc"
