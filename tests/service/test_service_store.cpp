// SPDX-License-Identifier: GPL-3.0-or-later
// The service's store on a real SQLite file: accounts kept across restarts, and the expiry and
// ownership of what signing in hands out.
#include "auth/Accounts.h"
#include "auth/Tokens.h"
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "foundation/Schema.h"
#include "ServiceSchema.h"

#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal::Service;

namespace {

constexpr std::int64_t now = 1'700'000'000;

} // namespace

class TestServiceStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaIsMigratedOnce();
    void signInTokensExpireAndBelongToTheirAccount();

private:
    std::int64_t create(const QString &email)
    {
        NewAccount account;
        account.email = email;
        account.password = QStringLiteral("pw");
        return m_database->transaction(
            [&](Connection &connection) { return Accounts::create(connection, account, now); });
    }

    std::unique_ptr<QTemporaryDir> m_directory;
    std::unique_ptr<Database> m_database;
};

void TestServiceStore::init()
{
    m_directory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_directory->isValid());
    m_database = openDataDirectory(m_directory->path().toStdString(), serviceSchema());
}

void TestServiceStore::cleanup()
{
    m_database.reset();
    m_directory.reset();
}

void TestServiceStore::schemaIsMigratedOnce()
{
    QCOMPARE(schemaVersion(*m_database, "accounts"), 1);
    create(QStringLiteral("kept@nimbal.test"));
    m_database.reset();

    // Opening again runs no script twice: the account is still there.
    m_database = openDataDirectory(m_directory->path().toStdString(), serviceSchema());
    QCOMPARE(schemaVersion(*m_database, "accounts"), 1);
    QVERIFY(m_database->transaction([](Connection &connection) {
        return Accounts::findByEmail(connection, QStringLiteral("kept@nimbal.test"));
    }));
}

void TestServiceStore::signInTokensExpireAndBelongToTheirAccount()
{
    using State = PendingLogins::Lookup::State;
    const std::int64_t id = create(QStringLiteral("tokens@nimbal.test"));
    const std::int64_t otherId = create(QStringLiteral("else@nimbal.test"));
    m_database->transaction([&](Connection &connection) {
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

        const QString pending = PendingLogins::issue(connection, id, now, 300);
        QCOMPARE(PendingLogins::find(connection, pending, now + 299).state, State::valid);
        QCOMPARE(PendingLogins::find(connection, pending, now + 299).accountId, id);
        QCOMPARE(PendingLogins::find(connection, pending, now + 300).state, State::expired);
        PendingLogins::remove(connection, pending);
        QCOMPARE(PendingLogins::find(connection, pending, now).state, State::unknown);

        const QString device =
            TrustedDevices::issue(connection, id, QStringLiteral("Portable"), now, 30 * 24 * 3600);
        QVERIFY(TrustedDevices::isTrusted(connection, id, device, now + 30 * 24 * 3600 - 1));
        QVERIFY(!TrustedDevices::isTrusted(connection, id, device, now + 30 * 24 * 3600));
        QVERIFY(!TrustedDevices::isTrusted(connection, otherId, device, now));
    });
}

QTEST_GUILESS_MAIN(TestServiceStore)
#include "test_service_store.moc"
