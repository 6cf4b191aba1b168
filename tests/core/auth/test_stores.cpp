// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory stores and the keychain error's wording.
#include "AsyncTest.h"

#include "auth/InMemoryStores.h"
#include "auth/KeychainError.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

class TestStores : public QObject {
    Q_OBJECT

private slots:
    void sessionStore();
    void trustedDevicesIgnoreLetterCase();
    void initialTokensAreKeptAsGiven();
    void keychainErrorMessage();
    void sessionJsonForm();
};

void TestStores::sessionStore()
{
    const DriveSession first{QStringLiteral("a"), QStringLiteral("t1"), QStringLiteral("p")};
    const DriveSession second{QStringLiteral("b"), QStringLiteral("t2"), QStringLiteral("q")};
    InMemorySessionStore store(first);
    QCOMPARE(runAsync(store.load()), std::optional(first));
    QCOMPARE(runAsync(store.load()), std::optional(first)); // reading leaves it in place
    runAsync(store.save(second));
    QCOMPARE(runAsync(store.load()), std::optional(second));
    runAsync(store.clear());
    runAsync(store.clear());
    QCOMPARE(runAsync(store.load()), std::nullopt);
}

void TestStores::trustedDevicesIgnoreLetterCase()
{
    InMemoryTrustedDeviceStore store;
    runAsync(store.save(QStringLiteral("t"), QStringLiteral("Alice@Orvelan.net")));
    QCOMPARE(runAsync(store.token(QStringLiteral("alice@orvelan.net"))),
             std::optional(QStringLiteral("t")));
    QCOMPARE(runAsync(store.token(QStringLiteral("ALICE@ORVELAN.NET"))),
             std::optional(QStringLiteral("t")));
    runAsync(store.remove(QStringLiteral("ALICE@orvelan.net")));
    QCOMPARE(runAsync(store.token(QStringLiteral("alice@orvelan.net"))), std::nullopt);
}

void TestStores::initialTokensAreKeptAsGiven()
{
    InMemoryTrustedDeviceStore store({{QStringLiteral("Bob@x"), QStringLiteral("t")},
                                      {QStringLiteral("carol@x"), QStringLiteral("u")}});
    QCOMPARE(runAsync(store.token(QStringLiteral("Bob@x"))), std::nullopt);
    QCOMPARE(runAsync(store.token(QStringLiteral("Carol@X"))), std::optional(QStringLiteral("u")));
}

void TestStores::keychainErrorMessage()
{
    QCOMPARE(KeychainError(3, QStringLiteral("Accès refusé")).errorDescription(),
             QStringLiteral("Accès au trousseau impossible : Accès refusé"));
    QCOMPARE(KeychainError(-25308).errorDescription(),
             QStringLiteral("Accès au trousseau impossible : code -25308"));
}

void TestStores::sessionJsonForm()
{
    const DriveSession session{QStringLiteral("a@b"), QStringLiteral("t\"1"), QStringLiteral("p é")};
    const QByteArray json = session.toJson();
    QCOMPARE(Json::decode<DriveSession>(json), session);
    QVERIFY(json.contains("\"accessToken\":\"t\\\"1\""));
}

QTEST_GUILESS_MAIN(TestStores)
#include "test_stores.moc"
