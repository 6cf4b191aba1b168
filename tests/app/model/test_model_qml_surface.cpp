// SPDX-License-Identifier: GPL-3.0-or-later
// The model as the panel's QML reads it, through the module OrvelanNimbal.App: the model held
// by a typed property, its status and live status compared with the enums through their types,
// absent values as "" or undefined, dates as dates, and an operation called with a value read
// from the model itself.
#include "ModelHarness.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QTest>
#include <QTimeZone>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelanNimbal_AppPlugin)

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;

class TestModelQmlSurface : public QObject {
    Q_OBJECT

private slots:
    void readsAndCalls();
};

void TestModelQmlSurface::readsAndCalls()
{
    ModelHarness harness;
    AppModel &model = harness.twoFactorPending();

    QQmlEngine engine;
    engine.addImportPath(u"qrc:/qt/qml"_s);
    QQmlComponent component(&engine);
    component.setData("import QtQml\nimport OrvelanNimbal.App\nQtObject {\n"
                      "    required property AppModel model\n"
                      "    function kindIs(name) { return model.status.kind === AppStatus[name] }\n"
                      "    function liveIs(name) {\n"
                      "        return model.liveStatus !== undefined\n"
                      "            && model.liveStatus.kind === LiveStatus[name]\n"
                      "    }\n}\n",
                      QUrl());
    const std::unique_ptr<QObject> view(
        component.createWithInitialProperties({{u"model"_s, QVariant::fromValue(&model)}}));
    QVERIFY2(view, qPrintable(component.errorString()));
    const auto read = [&](const char *expression) {
        QQmlExpression qml(qmlContext(view.get()), view.get(), QString::fromUtf8(expression));
        const QVariant value = qml.evaluate();
        return qml.hasError() ? qml.error().toString() : value.toString();
    };

    QCOMPARE(read("kindIs('TwoFactor') && !kindIs('Ready')"), u"true"_s);
    QCOMPARE(
        read("model.status.challenge.account + ' ' + model.status.challenge.acceptsRecoveryCode"),
        ModelHarness::account + u" true"_s);
    QCOMPARE(read("model.account + '|' + model.twoFactorError + '|' + model.transferLabel"),
             u"||"_s);
    QCOMPARE(read("model.quota === undefined && model.liveStatus === undefined"), u"true"_s);
    QCOMPARE(read("model.updater.shortVersion !== ''"), u"true"_s);

    // The two-factor view hands back the challenge it was given.
    harness.answers.insert(u"/auth/2fa/verify"_s, [] { return ModelHarness::session(); });
    read("model.submitCode(model.status.challenge, true, '1234-5678', false)");
    QCOMPARE(read("model.isVerifying"), u"true"_s);
    runAsync(model.whenIdle());
    QCOMPARE(read("kindIs('Ready')"), u"true"_s);
    QCOMPARE(read("model.statusText + ' ' + model.quota.fraction"), u"Nimbal à jour 0.05"_s);
    harness.live.status(DriveEventStream::Status::disconnected(5));
    QCOMPARE(read("liveIs('Disconnected') && model.liveStatus.retryIn"), u"5"_s);

    // The pause, and its end as a date.
    QCOMPARE(read("model.syncPaused"), u"false"_s);
    harness.system->setPause(ModelHarness::account,
                             {true, QDateTime(QDate(2030, 1, 2), QTime(3, 4), QTimeZone::utc())});
    QCOMPARE(read("model.syncPaused + ' ' + model.pausedUntil.toISOString()"),
             u"true 2030-01-02T03:04:00.000Z"_s);
}

QTEST_GUILESS_MAIN(TestModelQmlSurface)
#include "test_model_qml_surface.moc"
