// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory stores, the stored form of a session, and the keychain error's wording.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "auth/InMemoryStores.h"
#include "auth/KeychainError.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;

class TestStores : public QObject {
    Q_OBJECT

private slots:
    void inMemory();
    void sessionForm();
    void keychainErrorMessage();
};

void TestStores::inMemory()
{
    // Every read twice: a value handed to co_return must be a copy, never the store's own.
    const DriveSession first{u"a"_s, u"t1"_s, u"p"_s}, second{u"b"_s, u"t2"_s, u"q"_s};
    InMemorySessionStore sessions(first);
    QCOMPARE(runAsync(sessions.load()), std::optional(first));
    QCOMPARE(runAsync(sessions.load()), std::optional(first));
    runAsync(sessions.save(second));
    QCOMPARE(runAsync(sessions.load()), std::optional(second));
    runAsync(sessions.clear());
    QCOMPARE(runAsync(sessions.load()), std::nullopt);

    InMemoryTrustedDeviceStore devices;
    runAsync(devices.save(u"t"_s, u"Alice@Orvelan.net"_s));
    QCOMPARE(runAsync(devices.token(u"alice@orvelan.net"_s)), std::optional(u"t"_s));
    QCOMPARE(runAsync(devices.token(u"ALICE@ORVELAN.NET"_s)), std::optional(u"t"_s));
    runAsync(devices.remove(u"ALICE@orvelan.net"_s));
    QCOMPARE(runAsync(devices.token(u"alice@orvelan.net"_s)), std::nullopt);
}

void TestStores::sessionForm()
{
    const DriveSession session{u"a@b"_s, u"t\"1"_s, u"p é"_s};
    QCOMPARE(session.toJson(), R"({"accessToken":"t\"1","account":"a@b","password":"p é"})"_ba);
    QCOMPARE(Json::decode<DriveSession>(session.toJson()), session);
    NIMBAL_EXPECT_DRIVE_ERROR(Json::decode<DriveSession>(R"({"account":"a","accessToken":"t"})"),
                              DriveError::decoding(u"$ : clé « password » absente"_s));
    NIMBAL_EXPECT_DRIVE_ERROR(
        Json::decode<DriveSession>(R"({"account":1,"accessToken":"t","password":"p"})"),
        DriveError::decoding(u"$.account : chaîne attendue"_s));
    NIMBAL_EXPECT_DRIVE_ERROR(
        Json::decode<DriveSession>(R"({"account":"a","accessToken":null,"password":"p"})"),
        DriveError::decoding(u"$.accessToken : chaîne attendue"_s));
}

void TestStores::keychainErrorMessage()
{
    QCOMPARE(KeychainError(3, u"Accès refusé"_s).errorDescription(),
             u"Accès au trousseau impossible : Accès refusé"_s);
    QCOMPARE(KeychainError(-25308).errorDescription(),
             u"Accès au trousseau impossible : code -25308"_s);
}

QTEST_GUILESS_MAIN(TestStores)
#include "test_stores.moc"
