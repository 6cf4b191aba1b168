// SPDX-License-Identifier: GPL-3.0-or-later
// The model as the panel's QML reads it: property names, the enums through their types, absent
// values as "" or undefined, and an operation called with a value read from the model itself.
#include "ModelHarness.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QTest>

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
    qmlRegisterUncreatableMetaObject(AppStatus::staticMetaObject, "Nimbal", 1, 0, "AppStatus",
                                     u"a value of the model"_s);
    qmlRegisterUncreatableMetaObject(LiveStatusInfo::staticMetaObject, "Nimbal", 1, 0,
                                     "LiveStatusInfo", u"a value of the model"_s);
    QQmlEngine engine;
    // Registered enums are reached through an import, as in the panel's files.
    QQmlComponent component(&engine);
    component.setData("import Nimbal\nimport QtQml\nQtObject {\n"
                      "    readonly property var status: AppStatus\n"
                      "    readonly property var live: LiveStatusInfo\n}\n",
                      QUrl());
    const std::unique_ptr<QObject> kinds(component.create());
    QVERIFY2(kinds, qPrintable(component.errorString()));

    ModelHarness harness;
    AppModel &model = harness.twoFactorPending();
    engine.rootContext()->setContextProperty(u"model"_s, &model);
    engine.rootContext()->setContextProperty(u"kinds"_s, kinds.get());
    const auto read = [&](const char *expression) {
        QQmlExpression qml(engine.rootContext(), nullptr, QString::fromUtf8(expression));
        const QVariant value = qml.evaluate();
        return qml.hasError() ? qml.error().toString() : value.toString();
    };

    QCOMPARE(read("model.status.kind === kinds.status.TwoFactor"), u"true"_s);
    QCOMPARE(
        read("model.status.challenge.account + ' ' + model.status.challenge.acceptsRecoveryCode"),
        ModelHarness::account + u" true"_s);
    QCOMPARE(read("model.account + '|' + model.twoFactorError + '|' + model.transferLabel"),
             u"||"_s);
    QCOMPARE(read("model.quota === undefined && model.liveStatus === undefined"), u"true"_s);

    // The two-factor view hands back the challenge it was given.
    harness.answers.insert(u"/auth/2fa/verify"_s, [] { return ModelHarness::session(); });
    read("model.submitCode(model.status.challenge, true, '1234-5678', false)");
    QCOMPARE(read("model.isVerifying"), u"true"_s);
    runAsync(model.whenIdle());
    QCOMPARE(read("model.status.kind === kinds.status.Ready"), u"true"_s);
    QCOMPARE(read("model.statusText + ' ' + model.quota.fraction"), u"Nimbal à jour 0.05"_s);
    harness.live.status(DriveEventStream::Status::disconnected(5));
    QCOMPARE(read("model.liveStatus.kind === kinds.live.Disconnected && model.liveStatus.retryIn"),
             u"5"_s);
}

QTEST_GUILESS_MAIN(TestModelQmlSurface)
#include "test_model_qml_surface.moc"
