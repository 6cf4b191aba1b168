// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveErrorTesting.h"
#include "errors/HttpErrorMapping.h"

#include <QTest>

using namespace OrvelanNimbal;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)

class TestDriveError : public QObject {
    Q_OBJECT

private slots:
    void messages_data();
    void messages();
    void retryability_data();
    void retryability();
    void equality();
    void httpMapping_data();
    void httpMapping();
    void bodyPrefix_data();
    void bodyPrefix();
    void loginMapping_data();
    void loginMapping();
};

void TestDriveError::messages_data()
{
    QTest::addColumn<DriveError>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("http") << DriveError::http(503, QStringLiteral("busy"))
                          << QStringLiteral("Erreur du serveur (HTTP 503). busy");
    QTest::newRow("http, empty body")
        << DriveError::http(500, {}) << QStringLiteral("Erreur du serveur (HTTP 500). ");
    QTest::newRow("transport") << DriveError::transport(QStringLiteral("réponse non HTTP"))
                               << QStringLiteral("Le Nimbal est injoignable. réponse non HTTP");
    QTest::newRow("decoding") << DriveError::decoding(QStringLiteral("x"))
                              << QStringLiteral("Réponse du serveur illisible. x");
    QTest::newRow("notAuthenticated") << DriveError::notAuthenticated()
                                      << QStringLiteral("Session expirée, reconnexion nécessaire.");
    QTest::newRow("notFound") << DriveError::notFound()
                              << QStringLiteral("Cet élément n'existe plus sur le Nimbal.");
    QTest::newRow("insufficientQuota")
        << DriveError::insufficientQuota()
        << QStringLiteral("Espace de stockage insuffisant sur le Nimbal.");
    QTest::newRow("payloadTooLarge")
        << DriveError::payloadTooLarge()
        << QStringLiteral("Fichier trop volumineux pour un envoi direct.");
    QTest::newRow("reinforced")
        << DriveError::reinforced()
        << QStringLiteral("Ce fichier est en stockage renforcé : modifiez-le depuis le web.");
    QTest::newRow("locked") << DriveError::locked()
                            << QStringLiteral("Ce fichier est ouvert dans l'éditeur en ligne. "
                                              "Nouvel essai dans un instant.");
    QTest::newRow("versionConflict")
        << DriveError::versionConflict()
        << QStringLiteral("Ce fichier a été modifié ailleurs entre-temps.");
    QTest::newRow("archived")
        << DriveError::archived()
        << QStringLiteral("Ce fichier est archivé, il reste disponible depuis le web.");
    QTest::newRow("cursorExpired")
        << DriveError::cursorExpired()
        << QStringLiteral("La synchronisation doit repartir d'un état complet du Nimbal.");
    QTest::newRow("twoFactorInvalidCode")
        << DriveError::twoFactorInvalidCode() << QStringLiteral("Code invalide.");
    QTest::newRow("twoFactorExpired")
        << DriveError::twoFactorExpired()
        << QStringLiteral("La vérification a expiré. Reconnectez-vous.");
    QTest::newRow("tooManyAttempts")
        << DriveError::tooManyAttempts()
        << QStringLiteral("Trop de tentatives, réessayez dans quelques minutes.");
    QTest::newRow("twoFactorClientUnsupported")
        << DriveError::twoFactorClientUnsupported()
        << QStringLiteral("Cette version d'Orvelan Nimbal ne sait pas gérer la double "
                          "authentification. Mettez l'app à jour.");
}

void TestDriveError::messages()
{
    QFETCH(DriveError, error);
    QFETCH(QString, message);
    QCOMPARE(error.errorDescription(), message);
    QCOMPARE(QString::fromUtf8(error.what()), message);
}

void TestDriveError::retryability_data()
{
    QTest::addColumn<DriveError>("error");
    QTest::addColumn<bool>("retryable");
    QTest::newRow("transport") << DriveError::transport({}) << true;
    QTest::newRow("http 500") << DriveError::http(500, {}) << true;
    QTest::newRow("http 503") << DriveError::http(503, {}) << true;
    QTest::newRow("http 499") << DriveError::http(499, {}) << false;
    QTest::newRow("http 409") << DriveError::http(409, {}) << false;
    QTest::newRow("decoding") << DriveError::decoding({}) << false;
    QTest::newRow("notAuthenticated") << DriveError::notAuthenticated() << false;
    QTest::newRow("locked") << DriveError::locked() << false;
    QTest::newRow("insufficientQuota") << DriveError::insufficientQuota() << false;
}

void TestDriveError::retryability()
{
    QFETCH(DriveError, error);
    QFETCH(bool, retryable);
    QCOMPARE(error.isRetryable(), retryable);
}

void TestDriveError::equality()
{
    QCOMPARE(DriveError::http(500, QStringLiteral("a")), DriveError::http(500, QStringLiteral("a")));
    QVERIFY(DriveError::http(500, QStringLiteral("a")) != DriveError::http(500, QStringLiteral("b")));
    QVERIFY(DriveError::http(500, {}) != DriveError::http(502, {}));
    QVERIFY(DriveError::transport(QStringLiteral("a")) != DriveError::decoding(QStringLiteral("a")));
    QCOMPARE(DriveError::locked(), DriveError::locked());
    QVERIFY(DriveError::locked() != DriveError::archived());
}

void TestDriveError::httpMapping_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QVariant>("conflict"); // a QString, or invalid for no header
    QTest::addColumn<DriveError>("expected");

    const QVariant none;
    const QByteArray body("oops");
    QTest::newRow("401") << 401 << body << none << DriveError::notAuthenticated();
    QTest::newRow("403") << 403 << body << none << DriveError::notAuthenticated();
    QTest::newRow("404") << 404 << body << none << DriveError::notFound();
    QTest::newRow("413") << 413 << body << none << DriveError::payloadTooLarge();
    QTest::newRow("423") << 423 << body << none << DriveError::locked();
    QTest::newRow("507") << 507 << body << none << DriveError::insufficientQuota();
    QTest::newRow("400") << 400 << body << none << DriveError::http(400, QStringLiteral("oops"));
    QTest::newRow("410") << 410 << body << none << DriveError::http(410, QStringLiteral("oops"));
    QTest::newRow("429") << 429 << body << none << DriveError::http(429, QStringLiteral("oops"));
    QTest::newRow("502") << 502 << body << none << DriveError::http(502, QStringLiteral("oops"));
    QTest::newRow("409 without header") << 409 << body << none << DriveError::versionConflict();
    QTest::newRow("409 archived, padded")
        << 409 << body << QVariant(QStringLiteral(" Archived ")) << DriveError::archived();
    QTest::newRow("409 reinforced, tabs and no-break space")
        << 409 << body << QVariant(QStringLiteral("\tREINFORCED\u00a0\u2003"))
        << DriveError::reinforced();
    QTest::newRow("409 archived then line break")
        << 409 << body << QVariant(QStringLiteral("archived\n")) << DriveError::versionConflict();
    QTest::newRow("409 key in use")
        << 409 << body << QVariant(QStringLiteral("key_in_use"))
        << DriveError::http(409, QStringLiteral("oops"));
    QTest::newRow("409 empty header")
        << 409 << body << QVariant(QString()) << DriveError::versionConflict();
    QTest::newRow("409 unknown word")
        << 409 << body << QVariant(QStringLiteral("stale")) << DriveError::versionConflict();
}

void TestDriveError::httpMapping()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QVariant, conflict);
    QFETCH(DriveError, expected);
    const std::optional<QString> header =
        conflict.isValid() ? std::optional(conflict.toString()) : std::nullopt;
    QCOMPARE(mapHTTPError(status, body, header), expected);
}

void TestDriveError::bodyPrefix_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");

    QTest::newRow("600 ASCII bytes keep 500")
        << QByteArray(600, 'a') << QString(500, u'a');
    // 499 ASCII bytes then "é" (2 bytes): the 500-byte cut lands inside the character.
    QTest::newRow("cut inside a character") << QByteArray(499, 'a') + "\xc3\xa9" << QString();
    QTest::newRow("character ends at 500")
        << QByteArray(498, 'a') + "\xc3\xa9" + "zz" << QString(498, u'a') + u'é';
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe") << QString();
    QTest::newRow("not trimmed") << QByteArray("  x \n") << QStringLiteral("  x \n");
}

void TestDriveError::bodyPrefix()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    const DriveError error = mapHTTPError(502, body, std::nullopt);
    QCOMPARE(error, DriveError::http(502, text));
    QVERIFY(error.isRetryable());
    if (text.isEmpty())
        QVERIFY(error.errorDescription().endsWith(QStringLiteral("). ")));
}

void TestDriveError::loginMapping_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<DriveError>("expected");
    QTest::newRow("429") << 429 << QByteArray() << DriveError::tooManyAttempts();
    QTest::newRow("403 unsupported second factor")
        << 403 << QByteArray(R"({"error":"two_factor_client_unsupported"})")
        << DriveError::twoFactorClientUnsupported();
    QTest::newRow("403, the word inside invalid UTF-8")
        << 403 << QByteArray("\xff two_factor_client_unsupported \xfe")
        << DriveError::twoFactorClientUnsupported();
    QTest::newRow("403 otherwise") << 403 << QByteArray(R"({"error":"forbidden"})")
                                   << DriveError::notAuthenticated();
    QTest::newRow("401 wrong password") << 401 << QByteArray() << DriveError::notAuthenticated();
    QTest::newRow("500") << 500 << QByteArray("down") << DriveError::http(500, QStringLiteral("down"));
}

void TestDriveError::loginMapping()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(DriveError, expected);
    QCOMPARE(mapLoginError(status, body, std::nullopt), expected);
}

QTEST_GUILESS_MAIN(TestDriveError)
#include "test_drive_error.moc"
