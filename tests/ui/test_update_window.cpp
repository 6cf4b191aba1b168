// SPDX-License-Identifier: GPL-3.0-or-later
// The update window over a real updater (scripted release server, fake desktop): what it shows
// and offers in each state of a session, what its buttons do, and a screenshot of each state.
#include "UpdaterHarness.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelanNimbal_AppPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_PanelPlugin)

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

using State = Updater::State;

namespace {

enum class Scenario { checking, available, downloading, handedOver, upToDate, failed, restart };

// The panel's part: the window is shown when the updater asks.
struct WindowPresenter final : UpdatePresenter {
    QQuickWindow *window = nullptr;
    bool isPanelFocused() const override { return false; }
    void showUpdateWindow() override { window->show(); }
};

const QStringList buttonNames{u"skipButton"_qs,   u"laterButton"_qs, u"cancelButton"_qs,
                              u"closeButton"_qs,  u"retryButton"_qs, u"restartButton"_qs,
                              u"installButton"_qs};

} // namespace

class TestUpdateWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void states_data();
    void states();
    void closingEndsTheSession();

private:
    // The window over the harness's updater, shown by its presenter.
    std::unique_ptr<QQuickWindow> openWindow(UpdaterHarness &harness);
    QQuickItem *item(QQuickWindow &window, const QString &name);
    QStringList visibleButtons(QQuickWindow &window);
    void click(QQuickWindow &window, const QString &button);

    QTemporaryDir m_settings;
    QQmlEngine m_engine;
    WindowPresenter m_presenter;
};

void TestUpdateWindow::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    QCoreApplication::setOrganizationName(u"orvelan-tests"_qs);
    QCoreApplication::setApplicationName(u"test_update_window"_qs);
    m_engine.addImportPath(u"qrc:/qt/qml"_qs);
}

std::unique_ptr<QQuickWindow> TestUpdateWindow::openWindow(UpdaterHarness &harness)
{
    Updater &updater = harness.start();
    QQmlComponent component(
        &m_engine, QUrl(u"qrc:/qt/qml/OrvelanNimbal/Panel/updates/UpdateWindow.qml"_qs));
    std::unique_ptr<QObject> created(component.createWithInitialProperties(
        {{u"updater"_qs, QVariant::fromValue(static_cast<QObject *>(&updater))}}));
    if (!created)
        qFatal("%s", qPrintable(component.errorString()));
    std::unique_ptr<QQuickWindow> window(qobject_cast<QQuickWindow *>(created.release()));
    m_presenter.window = window.get();
    updater.setPresenter(&m_presenter);
    return window;
}

QQuickItem *TestUpdateWindow::item(QQuickWindow &window, const QString &name)
{
    auto *found = window.findChild<QQuickItem *>(name);
    if (!found)
        qFatal("the window has no item called %s", qPrintable(name));
    return found;
}

QStringList TestUpdateWindow::visibleButtons(QQuickWindow &window)
{
    QStringList visible;
    for (const QString &name : buttonNames) {
        if (item(window, name)->isVisible())
            visible.append(name);
    }
    return visible;
}

void TestUpdateWindow::click(QQuickWindow &window, const QString &button)
{
    QQuickItem *target = item(window, button);
    QVERIFY(target && target->isVisible());
    QTest::mouseClick(
        &window, Qt::LeftButton, {},
        target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint());
}

void TestUpdateWindow::states_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QStringList>("shown"); // other parts on view

    QTest::newRow("checking") << Scenario::checking << State::Checking << u"Orvelan Nimbal 1.4.0"_qs
                              << QStringList{u"cancelButton"_qs}
                              << QStringList{u"spinner"_qs, u"message"_qs};
    QTest::newRow("available") << Scenario::available << State::Available
                               << u"Orvelan Nimbal 1.5"_qs
                               << QStringList{u"skipButton"_qs, u"laterButton"_qs,
                                              u"installButton"_qs}
                               << QStringList{u"notes"_qs, u"message"_qs};
    QTest::newRow("downloading") << Scenario::downloading << State::Downloading
                                 << u"Orvelan Nimbal 1.5"_qs << QStringList{u"cancelButton"_qs}
                                 << QStringList{u"download"_qs, u"message"_qs};
    QTest::newRow("handed over") << Scenario::handedOver << State::HandedOver
                                 << u"Orvelan Nimbal 1.5"_qs << QStringList{u"closeButton"_qs}
                                 << QStringList{u"message"_qs};
    QTest::newRow("up to date") << Scenario::upToDate << State::UpToDate
                                << u"Orvelan Nimbal 1.4.0"_qs << QStringList{u"closeButton"_qs}
                                << QStringList{u"message"_qs};
    QTest::newRow("failed") << Scenario::failed << State::Failed << u"Orvelan Nimbal 1.4.0"_qs
                            << QStringList{u"closeButton"_qs, u"retryButton"_qs}
                            << QStringList{u"failure"_qs};
    QTest::newRow("ready to restart")
        << Scenario::restart << State::ReadyToRestart << u"Orvelan Nimbal 1.5"_qs
        << QStringList{u"laterButton"_qs, u"restartButton"_qs} << QStringList{u"message"_qs};
}

void TestUpdateWindow::states()
{
    QFETCH(Scenario, scenario);
    QFETCH(State, state);
    QFETCH(QStringList, shown);
    UpdaterHarness harness;
    harness.releases = {
        harness.signedRelease(scenario == Scenario::upToDate ? u"1.3"_qs : u"1.5"_qs)};
    if (scenario == Scenario::failed)
        harness.client.transport->enqueue(FakeTransport::Reply::withStatus(404));
    if (scenario == Scenario::downloading)
        harness.serving = Serving::hangs;
    if (scenario == Scenario::restart) {
        QFile image(harness.folder.filePath(u"Orvelan_Nimbal.AppImage"_qs));
        QVERIFY(image.open(QIODevice::WriteOnly));
        harness.offerAppImage(image.fileName());
    }
    const auto window = openWindow(harness);
    Updater &updater = *harness.updater;

    // Through the window's own buttons, as the user would.
    updater.checkForUpdates();
    QVERIFY(window->isVisible());
    if (scenario != Scenario::checking)
        QTRY_VERIFY(updater.state() != State::Checking);
    if (scenario == Scenario::downloading || scenario == Scenario::handedOver
        || scenario == Scenario::restart) {
        click(*window, u"installButton"_qs);
        QTRY_COMPARE(updater.state(), state);
    }
    QCOMPARE(updater.state(), state);
    QTEST(item(*window, u"heading"_qs)->property("text").toString(), "heading");
    QTEST(visibleButtons(*window), "buttons");
    for (const QString &part : shown)
        QVERIFY2(item(*window, part)->isVisible(), qPrintable(part));
    // The updater's words for the state, in the banner when something failed.
    const QString textItem = state == State::Failed ? u"failureText"_qs : u"message"_qs;
    QCOMPARE(item(*window, textItem)->property("text").toString(), updater.message());

    const QString folder = QCoreApplication::applicationDirPath() + u"/screenshots/updates"_qs;
    QVERIFY(QDir().mkpath(folder));
    const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    QVERIFY(window->grabWindow().save(folder + u'/' + name + u".png"_qs));
}

// The window's close button ends the session like "Plus tard", and the window goes away with
// the session.
void TestUpdateWindow::closingEndsTheSession()
{
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(u"1.5"_qs)};
    const auto window = openWindow(harness);
    Updater &updater = *harness.updater;
    updater.checkForUpdates();
    QTRY_COMPARE(updater.state(), State::Available);
    window->close();
    QCOMPARE(updater.state(), State::Idle);

    updater.checkForUpdates();
    QTRY_COMPARE(updater.state(), State::Available);
    click(*window, u"laterButton"_qs);
    QCOMPARE(updater.state(), State::Idle);
    QVERIFY(!window->isVisible());

    updater.checkForUpdates();
    QTRY_COMPARE(updater.state(), State::Available);
    click(*window, u"skipButton"_qs);
    QCOMPARE(updater.state(), State::Idle);
    QCOMPARE(QSettings().value(u"skippedUpdateVersion"_qs).toString(), u"1.5");
}

QTEST_MAIN(TestUpdateWindow)
#include "test_update_window.moc"
