// SPDX-License-Identifier: GPL-3.0-or-later
#include "PanelPlacement.h"
#include "PauseEntries.h"
#include "SingleInstance.h"
#include "TrayPanel.h"
#include "model/PanelModel.h"

#include <QApplication>
#include <QDBusConnection>
#include <QMenu>
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

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Panel;

namespace {

// The preview's stand-in model, made in `engine`.
std::unique_ptr<PanelModel> standInModel(QQmlEngine *engine)
{
    QQmlComponent standIn(engine);
    standIn.setData("import OrvelanNimbal.Panel.Preview\nStandInModel {}", QUrl());
    std::unique_ptr<QObject> made(standIn.create());
    if (!made)
        qWarning().noquote() << standIn.errorString();
    return std::unique_ptr<PanelModel>(qobject_cast<PanelModel *>(made.release()));
}

} // namespace

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
        const std::unique_ptr<PanelModel> model = standInModel(panel.engine());
        QVERIFY(model);
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

    // The menu offers the pause or the resume that applies, as it opens, and only while an
    // account is signed in; each reaches the model.
    void pauseEntries_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<bool>("pausing");
        const QString pause = QStringLiteral("Mettre en pause la synchronisation");
        const QString resume = QStringLiteral("Reprendre la synchronisation");
        QTest::newRow("signed in, running: pause")
            << u"lea@orvelan.net"_qs << false << QStringList{pause} << true;
        QTest::newRow("signed in, paused: resume")
            << u"lea@orvelan.net"_qs << true << QStringList{resume} << false;
        QTest::newRow("signed out: neither") << QString() << false << QStringList() << false;
        QTest::newRow("signed out with a pause left: neither")
            << QString() << true << QStringList() << false;
    }

    void pauseEntries()
    {
        QFETCH(QString, account);
        QFETCH(bool, paused);
        QFETCH(QStringList, shown);
        QFETCH(bool, pausing);
        QQmlEngine engine;
        engine.addImportPath(u"qrc:/qt/qml"_qs);
        const std::unique_ptr<PanelModel> model = standInModel(&engine);
        QVERIFY(model);
        QMenu menu;
        addPauseEntries(menu, *model);
        // Set after the entries were made: they are read as the menu opens.
        model->setProperty("account", account);
        model->setProperty("syncPaused", paused);
        emit menu.aboutToShow();

        QStringList visible;
        QAction *entry = nullptr;
        for (QAction *action : menu.actions()) {
            if (action->isVisible() && !action->isSeparator()) {
                visible.append(action->text());
                entry = action;
            }
        }
        QCOMPARE(visible, shown);
        if (!entry)
            return;
        entry->trigger();
        const QVariantList calls = model->property("calls").toList();
        QCOMPARE(calls.size(), 1);
        const QVariantMap call = calls.constFirst().toMap();
        QCOMPARE(call.value(u"name"_qs).toString(), u"setSyncPaused"_qs);
        QCOMPARE(call.value(u"args"_qs).toList(), QVariantList{pausing});
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
