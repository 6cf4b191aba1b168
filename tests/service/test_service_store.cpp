// SPDX-License-Identifier: GPL-3.0-or-later
// The service's store on a real SQLite file: schema versions, accounts, password hashes,
// recovery codes and the expiry of what signing in hands out.
#include "auth/Accounts.h"
#include "auth/PasswordHash.h"
#include "auth/RecoveryCodes.h"
#include "auth/Tokens.h"
#include "foundation/DataDirectory.h"
#include "foundation/Database.h"
#include "foundation/Schema.h"

#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal::Service;

Q_DECLARE_METATYPE(OrvelanNimbal::Service::NewAccount)

namespace {

constexpr std::int64_t now = 1'700'000'000;

NewAccount account(const QString &email)
{
    NewAccount result;
    result.email = email;
    result.password = QStringLiteral("pw");
    return result;
}

} // namespace

class TestServiceStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaIsMigratedOnce();
    void refusesSchemaFromNewerService();
    void findsAccountsWhateverTheLetterCase();
    void refusesInvalidAccounts_data();
    void refusesInvalidAccounts();
    void verifiesPasswords_data();
    void verifiesPasswords();
    void recoveryCodesServeOnce();
    void offersSecondFactors_data();
    void offersSecondFactors();
    void tokensExpire();
    void pendingLoginStates();
    void trustedDevicesBelongToTheirAccount();

private:
    std::int64_t create(const NewAccount &newAccount);
    template <class Work>
    auto transaction(Work work)
    {
        return m_database->transaction(work);
    }

    std::unique_ptr<QTemporaryDir> m_directory;
    std::unique_ptr<Database> m_database;
};

void TestServiceStore::init()
{
    m_directory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_directory->isValid());
    m_database = openDataDirectory(m_directory->path().toStdString());
}

void TestServiceStore::cleanup()
{
    m_database.reset();
    m_directory.reset();
}

std::int64_t TestServiceStore::create(const NewAccount &newAccount)
{
    return transaction(
        [&](Connection &connection) { return Accounts::create(connection, newAccount, now); });
}

void TestServiceStore::schemaIsMigratedOnce()
{
    QCOMPARE(schemaVersion(*m_database, "accounts"), 1);
    create(account(QStringLiteral("kept@nimbal.test")));
    m_database.reset();

    // Opening again runs no script twice: the account is still there.
    m_database = openDataDirectory(m_directory->path().toStdString());
    QCOMPARE(schemaVersion(*m_database, "accounts"), 1);
    const auto found = transaction([](Connection &connection) {
        return Accounts::findByEmail(connection, QStringLiteral("kept@nimbal.test"));
    });
    QVERIFY(found);
}

void TestServiceStore::refusesSchemaFromNewerService()
{
    transaction([](Connection &connection) {
        connection.exec("UPDATE schema_versions SET version = 99 WHERE module = 'accounts'");
    });
    m_database.reset();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, openDataDirectory(m_directory->path().toStdString()));
}

void TestServiceStore::findsAccountsWhateverTheLetterCase()
{
    const std::int64_t id = create(account(QStringLiteral("Claire.Dupont@Nimbal.test")));
    const auto found = transaction([](Connection &connection) {
        return Accounts::findByEmail(connection, QStringLiteral("claire.dupont@NIMBAL.TEST"));
    });
    QVERIFY(found);
    QCOMPARE(found->id, id);
    QCOMPARE(found->email, QStringLiteral("Claire.Dupont@Nimbal.test")); // as created
    QVERIFY(!found->requiresSecondFactor());
}

void TestServiceStore::refusesInvalidAccounts_data()
{
    QTest::addColumn<NewAccount>("newAccount");
    QTest::addColumn<bool>("exists"); // refused as a duplicate rather than as invalid

    const auto with = [](auto change) {
        NewAccount result = account(QStringLiteral("new@nimbal.test"));
        change(result);
        return result;
    };
    QTest::newRow("empty address") << with([](NewAccount &a) { a.email.clear(); }) << false;
    QTest::newRow("no at sign") << with([](NewAccount &a) { a.email = u"nimbal.test"_qs; })
                                << false;
    QTest::newRow("spaces around")
        << with([](NewAccount &a) { a.email = u" new@nimbal.test"_qs; }) << false;
    QTest::newRow("empty password") << with([](NewAccount &a) { a.password.clear(); }) << false;
    QTest::newRow("secret not base32")
        << with([](NewAccount &a) { a.totpSecret = u"NOT-BASE32-!"_qs; }) << false;
    QTest::newRow("passkey with an authenticator") << with([](NewAccount &a) {
        a.passkeyOnly = true;
        a.totpSecret = u"MZXW6YTB"_qs;
    }) << false;
    QTest::newRow("blank recovery code")
        << with([](NewAccount &a) { a.recoveryCodes = {u" - "_qs}; }) << false;
    QTest::newRow("negative quota") << with([](NewAccount &a) { a.quotaMegabytes = -1; }) << false;
    QTest::newRow("address taken, other letter case")
        << with([](NewAccount &a) { a.email = u"TAKEN@nimbal.test"_qs; }) << true;
}

void TestServiceStore::refusesInvalidAccounts()
{
    QFETCH(NewAccount, newAccount);
    QFETCH(bool, exists);
    create(account(QStringLiteral("taken@nimbal.test")));
    try {
        create(newAccount);
        QFAIL("the account was created");
    } catch (const AccountError &error) {
        QCOMPARE(error.reason,
                 exists ? AccountError::Reason::exists : AccountError::Reason::invalid);
    }
}

void TestServiceStore::verifiesPasswords_data()
{
    const QString stored = PasswordHash::make(QStringLiteral("mot de passe"), 1000);
    QStringList parts = stored.split(u'$');
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("storedHash");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right") << QStringLiteral("mot de passe") << stored << true;
    QTest::newRow("wrong") << QStringLiteral("mot de passe ") << stored << false;
    QTest::newRow("empty stored") << QStringLiteral("mot de passe") << QString() << false;
    QTest::newRow("other scheme") << QStringLiteral("mot de passe")
                                  << QString(stored).replace(u"sha256"_qs, u"sha1"_qs) << false;
    QTest::newRow("fewer iterations")
        << QStringLiteral("mot de passe") << QString(stored).replace(u"$1000$"_qs, u"$999$"_qs)
        << false;
    QTest::newRow("no iterations") << QStringLiteral("mot de passe")
                                   << QString(stored).replace(u"$1000$"_qs, u"$0$"_qs) << false;
    parts[3] = QStringLiteral("!!!");
    QTest::newRow("key not base64") << QStringLiteral("mot de passe") << parts.join(u'$') << false;
}

void TestServiceStore::verifiesPasswords()
{
    QFETCH(QString, password);
    QFETCH(QString, storedHash);
    QFETCH(bool, accepted);
    QCOMPARE(PasswordHash::verify(password, storedHash), accepted);
}

void TestServiceStore::recoveryCodesServeOnce()
{
    NewAccount first = account(QStringLiteral("first@nimbal.test"));
    first.totpSecret = QStringLiteral("MZXW6YTB");
    first.recoveryCodes = {QStringLiteral("AB12-CD34"), QStringLiteral("EF56-GH78")};
    const std::int64_t firstId = create(first);
    const std::int64_t otherId = create(account(QStringLiteral("other@nimbal.test")));

    transaction([&](Connection &connection) {
        // Another account's code is not this one's.
        QVERIFY(!RecoveryCodes::consume(connection, otherId, QStringLiteral("AB12-CD34"), now));
        QVERIFY(RecoveryCodes::consume(connection, firstId, QStringLiteral("ab12 cd34"), now));
        QVERIFY(!RecoveryCodes::consume(connection, firstId, QStringLiteral("AB12-CD34"), now));
        QVERIFY(!RecoveryCodes::consume(connection, firstId, QStringLiteral(" "), now));
        QVERIFY(RecoveryCodes::hasUnused(connection, firstId));
        QVERIFY(RecoveryCodes::consume(connection, firstId, QStringLiteral("EF56GH78"), now));
        QVERIFY(!RecoveryCodes::hasUnused(connection, firstId));
    });
}

void TestServiceStore::offersSecondFactors_data()
{
    QTest::addColumn<bool>("authenticator");
    QTest::addColumn<bool>("passkey");
    QTest::addColumn<bool>("recoveryCodes");
    QTest::addColumn<QStringList>("methods");
    QTest::newRow("none") << false << false << false << QStringList();
    QTest::newRow("recovery codes alone are no second factor")
        << false << false << true << QStringList();
    QTest::newRow("authenticator") << true << false << false << QStringList{u"totp"_qs};
    QTest::newRow("authenticator and codes")
        << true << false << true << QStringList{u"totp"_qs, u"recovery"_qs};
    QTest::newRow("passkey") << false << true << false << QStringList{u"webauthn"_qs};
    QTest::newRow("passkey and codes")
        << false << true << true << QStringList{u"webauthn"_qs, u"recovery"_qs};
}

void TestServiceStore::offersSecondFactors()
{
    QFETCH(bool, authenticator);
    QFETCH(bool, passkey);
    QFETCH(bool, recoveryCodes);
    QFETCH(QStringList, methods);
    NewAccount newAccount = account(QStringLiteral("factors@nimbal.test"));
    if (authenticator)
        newAccount.totpSecret = QStringLiteral("MZXW6YTB");
    newAccount.passkeyOnly = passkey;
    if (recoveryCodes)
        newAccount.recoveryCodes = {QStringLiteral("code-1")};
    const std::int64_t id = create(newAccount);

    transaction([&](Connection &connection) {
        const auto found = Accounts::findById(connection, id);
        QVERIFY(found);
        QCOMPARE(found->requiresSecondFactor(), authenticator || passkey);
        QCOMPARE(Accounts::secondFactorMethods(connection, *found), methods);
    });
}

void TestServiceStore::tokensExpire()
{
    const std::int64_t id = create(account(QStringLiteral("tokens@nimbal.test")));
    transaction([&](Connection &connection) {
        const QString token = AccessTokens::issue(connection, id, now, 60);
        const QString other = AccessTokens::issue(connection, id, now, 60);
        QCOMPARE(AccessTokens::accountOf(connection, token, now + 59), std::optional(id));
        QCOMPARE(AccessTokens::accountOf(connection, token, now + 60), std::nullopt);
        QCOMPARE(AccessTokens::accountOf(connection, QStringLiteral("forged"), now), std::nullopt);

        QCOMPARE(expireTokens(connection, Expiry{}, now + 10), 2);
        QCOMPARE(AccessTokens::accountOf(connection, other, now + 10), std::nullopt);
        // Nothing of the token itself is stored, only its digest.
        Statement stored = connection.query("SELECT count(*) FROM access_tokens WHERE "
                                            "token_digest = ? OR token_digest = ?",
                                            token, other);
        QVERIFY(stored.step());
        QCOMPARE(stored.int64(0), 0);
    });
}

void TestServiceStore::pendingLoginStates()
{
    using State = PendingLogins::Lookup::State;
    const std::int64_t id = create(account(QStringLiteral("pending@nimbal.test")));
    transaction([&](Connection &connection) {
        const QString token = PendingLogins::issue(connection, id, now, 300);
        QCOMPARE(PendingLogins::find(connection, token, now + 299).state, State::valid);
        QCOMPARE(PendingLogins::find(connection, token, now + 299).accountId, id);
        QCOMPARE(PendingLogins::find(connection, token, now + 300).state, State::expired);
        PendingLogins::remove(connection, token);
        QCOMPARE(PendingLogins::find(connection, token, now).state, State::unknown);

        const QString voided = PendingLogins::issue(connection, id, now, 300);
        expireTokens(connection, Expiry{false, true, false}, now);
        QCOMPARE(PendingLogins::find(connection, voided, now).state, State::expired);
    });
}

void TestServiceStore::trustedDevicesBelongToTheirAccount()
{
    const std::int64_t id = create(account(QStringLiteral("device@nimbal.test")));
    const std::int64_t otherId = create(account(QStringLiteral("else@nimbal.test")));
    transaction([&](Connection &connection) {
        const QString token =
            TrustedDevices::issue(connection, id, QStringLiteral("Portable"), now, 30 * 24 * 3600);
        QVERIFY(TrustedDevices::isTrusted(connection, id, token, now + 29 * 24 * 3600));
        QVERIFY(!TrustedDevices::isTrusted(connection, id, token, now + 30 * 24 * 3600));
        QVERIFY(!TrustedDevices::isTrusted(connection, otherId, token, now));
        expireTokens(connection, Expiry{false, false, true}, now + 1);
        QVERIFY(!TrustedDevices::isTrusted(connection, id, token, now + 1));
    });
}

QTEST_GUILESS_MAIN(TestServiceStore)
#include "test_service_store.moc"
