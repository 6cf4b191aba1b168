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

namespace {

// Evaluates `expression` with `model` in scope, as a binding of the panel would.
QString evaluate(QQmlEngine &engine, AppModel &model, const QString &expression)
{
    QQmlContext context(engine.rootContext());
    context.setContextProperty(u"model"_s, &model);
    QQmlExpression qml(&context, nullptr, expression);
    const QVariant value = qml.evaluate();
    if (qml.hasError())
        return u"error: "_s + qml.error().toString();
    return value.isValid() ? value.toString() : u"undefined"_s;
}

} // namespace

class TestModelQmlSurface : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsAndCalls();
};

void TestModelQmlSurface::initTestCase()
{
    qmlRegisterUncreatableMetaObject(AppStatus::staticMetaObject, "Nimbal", 1, 0, "AppStatus",
                                     u"a value of the model"_s);
    qmlRegisterUncreatableMetaObject(LiveStatusInfo::staticMetaObject, "Nimbal", 1, 0,
                                     "LiveStatusInfo", u"a value of the model"_s);
}

void TestModelQmlSurface::readsAndCalls()
{
    QQmlEngine engine;
    // Module enums are reached through an import; the panel has one, the expressions get it
    // from a component.
    QQmlComponent component(&engine);
    component.setData("import Nimbal\nimport QtQml\nQtObject {\n"
                      "    readonly property var statusKinds: AppStatus\n"
                      "    readonly property var liveKinds: LiveStatusInfo\n}\n",
                      QUrl());
    std::unique_ptr<QObject> types(component.create());
    QVERIFY2(types, qPrintable(component.errorString()));
    engine.rootContext()->setContextProperty(u"types"_s, types.get());

    ModelHarness harness;
    harness.answers.insert(u"/auth/login-jmap"_s, [] {
        return ModelHarness::challenge({u"totp"_s, u"recovery"_s});
    });
    harness.answers.insert(u"/auth/2fa/verify"_s, [] { return ModelHarness::session(); });
    AppModel &model = harness.start();
    const auto read = [&](const char *expression) {
        return evaluate(engine, model, QString::fromUtf8(expression));
    };

    QCOMPARE(read("model.status.kind === types.statusKinds.SignedOut"), u"true"_s);
    QCOMPARE(read("model.statusText"), u"Non connecté"_s);
    QCOMPARE(read("model.account"), QString());
    QCOMPARE(read("model.twoFactorError"), QString());
    QCOMPARE(read("model.quota === undefined && model.summary === undefined"
                  " && model.liveStatus === undefined"),
             u"true"_s);
    QCOMPARE(read("isNaN(model.lastSyncSignal.getTime())"), u"true"_s);
    QCOMPARE(read("model.texts.approvalButton"), u"Réactiver"_s);
    QCOMPARE(read("model.texts.rememberDevice"),
             u"Se souvenir de cet ordinateur pendant 30 jours"_s);

    read("model.signIn('ana@orvelan.net', 'mot de passe')");
    runAsync(model.whenIdle());
    QCOMPARE(read("model.status.kind === types.statusKinds.TwoFactor"), u"true"_s);
    QCOMPARE(read("model.status.challenge.account"), ModelHarness::account);
    QCOMPARE(read("model.status.challenge.acceptsRecoveryCode"), u"true"_s);
    QCOMPARE(read("model.status.challenge.expiresAt > new Date(0)"), u"true"_s);
    QCOMPARE(read("model.lastEmail"), ModelHarness::account);

    // The view hands back the challenge it was given.
    read("model.submitCode(model.status.challenge, true, '1234-5678', false)");
    QCOMPARE(read("model.isVerifying"), u"true"_s);
    runAsync(model.whenIdle());
    QCOMPARE(read("model.status.kind === types.statusKinds.Ready"), u"true"_s);
    QCOMPARE(
        harness.service.transport->requests().at(1).body.contains("\"pending_token\":\"attente\""),
        true);
    QCOMPARE(read("model.quota.maxMegabytes"), u"10240"_s);
    QCOMPARE(read("model.quota.fraction"), u"0.05"_s);
    QCOMPARE(read("model.statusText"), u"Nimbal à jour"_s);

    harness.live.status(DriveEventStream::Status::disconnected(5));
    QCOMPARE(read("model.liveStatus.kind === types.liveKinds.Disconnected"), u"true"_s);
    QCOMPARE(read("model.liveStatus.retryIn"), u"5"_s);

    read("model.signOut()");
    runAsync(model.whenIdle());
    QCOMPARE(read("model.status.kind === types.statusKinds.SignedOut"), u"true"_s);
    QCOMPARE(read("model.quota === undefined"), u"true"_s);
}

QTEST_GUILESS_MAIN(TestModelQmlSurface)
#include "test_model_qml_surface.moc"
