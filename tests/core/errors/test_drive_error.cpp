// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveErrorTesting.h"
#include "errors/HttpErrorMapping.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)
Q_DECLARE_METATYPE(std::optional<QString>)

class TestDriveError : public QObject {
    Q_OBJECT

private slots:
    void messages_data();
    void messages();
    void equality();
    void mapping_data();
    void mapping();
};

void TestDriveError::messages_data()
{
    QTest::addColumn<DriveError>("error");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("retryable");
    const auto row = [](DriveError error, QString message, bool retryable = false) {
        QTest::newRow(qPrintable(debugName(error))) << error << message << retryable;
    };
    row(DriveError::http(503, u"busy"_s), u"Erreur du serveur (HTTP 503). busy"_s, true);
    row(DriveError::http(500, {}), u"Erreur du serveur (HTTP 500). "_s, true);
    row(DriveError::http(499, u"x"_s), u"Erreur du serveur (HTTP 499). x"_s);
    row(DriveError::transport(u"hors ligne"_s), u"Le Nimbal est injoignable. hors ligne"_s, true);
    row(DriveError::decoding(u"x"_s), u"Réponse du serveur illisible. x"_s);
    row(DriveError::notAuthenticated(), u"Session expirée, reconnexion nécessaire."_s);
    row(DriveError::notFound(), u"Cet élément n'existe plus sur le Nimbal."_s);
    row(DriveError::insufficientQuota(), u"Espace de stockage insuffisant sur le Nimbal."_s);
    row(DriveError::payloadTooLarge(), u"Fichier trop volumineux pour un envoi direct."_s);
    row(DriveError::reinforced(),
        u"Ce fichier est en stockage renforcé : modifiez-le depuis le web."_s);
    row(DriveError::locked(),
        u"Ce fichier est ouvert dans l'éditeur en ligne. Nouvel essai dans un instant."_s);
    row(DriveError::versionConflict(), u"Ce fichier a été modifié ailleurs entre-temps."_s);
    row(DriveError::archived(), u"Ce fichier est archivé, il reste disponible depuis le web."_s);
    row(DriveError::cursorExpired(),
        u"La synchronisation doit repartir d'un état complet du Nimbal."_s);
    row(DriveError::twoFactorInvalidCode(), u"Code invalide."_s);
    row(DriveError::twoFactorExpired(), u"La vérification a expiré. Reconnectez-vous."_s);
    row(DriveError::tooManyAttempts(), u"Trop de tentatives, réessayez dans quelques minutes."_s);
    row(DriveError::twoFactorClientUnsupported(),
        u"Cette version d'Orvelan Nimbal ne sait pas gérer la double authentification. "
        u"Mettez l'app à jour."_s);
}

void TestDriveError::messages()
{
    QFETCH(DriveError, error);
    QFETCH(QString, message);
    QFETCH(bool, retryable);
    QCOMPARE(error.errorDescription(), message);
    QCOMPARE(QString::fromUtf8(error.what()), message);
    QCOMPARE(error.isRetryable(), retryable);
}

void TestDriveError::equality()
{
    QCOMPARE(DriveError::http(500, u"a"_s), DriveError::http(500, u"a"_s));
    QVERIFY(DriveError::http(500, u"a"_s) != DriveError::http(500, u"b"_s));
    QVERIFY(DriveError::http(500, {}) != DriveError::http(502, {}));
    QVERIFY(DriveError::transport(u"a"_s) != DriveError::decoding(u"a"_s));
    QVERIFY(DriveError::locked() != DriveError::archived());
}

// mapHTTPError for API answers, and mapLoginError for sign-in answers.
void TestDriveError::mapping_data()
{
    QTest::addColumn<bool>("login");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::optional<QString>>("conflict"); // the X-Drive-Conflict header
    QTest::addColumn<DriveError>("expected");
    const auto api = [](const char *tag, int status, std::optional<QString> conflict,
                        DriveError expected, QByteArray body = "oops"_ba) {
        QTest::newRow(tag) << false << status << body << conflict << expected;
    };
    const auto login = [](const char *tag, int status, QByteArray body, DriveError expected) {
        QTest::newRow(tag) << true << status << body << std::optional<QString>() << expected;
    };
    const auto oops = [](int status) { return DriveError::http(status, u"oops"_s); };
    const auto conflict = DriveError::versionConflict();

    api("401", 401, {}, DriveError::notAuthenticated());
    api("403", 403, {}, DriveError::notAuthenticated());
    api("404", 404, {}, DriveError::notFound());
    api("413", 413, {}, DriveError::payloadTooLarge());
    api("423", 423, {}, DriveError::locked());
    api("507", 507, {}, DriveError::insufficientQuota());
    api("410 is no expired code here", 410, {}, oops(410));
    api("429 is no sign-in throttle here", 429, {}, oops(429));
    api("409 without header", 409, {}, conflict);
    api("409 archived, padded", 409, u" Archived "_s, DriveError::archived());
    api("409 reinforced, tab and Unicode spaces", 409, u"\tREINFORCED\u00a0\u2003"_s,
        DriveError::reinforced());
    api("409 line breaks are not trimmed", 409, u"archived\n"_s, conflict);
    api("409 key in use", 409, u"key_in_use"_s, oops(409));
    api("409 unknown word", 409, u"stale"_s, conflict);

    // The body is quoted by its first 500 bytes, when they are whole UTF-8.
    api("600 ASCII bytes keep 500", 502, {}, DriveError::http(502, QString(500, u'a')),
        QByteArray(600, 'a'));
    api("cut inside a character", 502, {}, DriveError::http(502, {}),
        QByteArray(499, 'a') + "\xc3\xa9");
    api("character ends at 500", 502, {}, DriveError::http(502, QString(498, u'a') + u'é'),
        QByteArray(498, 'a') + "\xc3\xa9zz");
    api("invalid UTF-8", 502, {}, DriveError::http(502, {}), "\xff\xfe"_ba);
    api("not trimmed", 502, {}, DriveError::http(502, u"  x \n"_s), "  x \n"_ba);

    login("sign-in 429", 429, {}, DriveError::tooManyAttempts());
    login("sign-in 403, second factor unsupported", 403,
          R"({"error":"two_factor_client_unsupported"})"_ba,
          DriveError::twoFactorClientUnsupported());
    login("sign-in 403, the word inside invalid UTF-8", 403,
          "\xff two_factor_client_unsupported \xfe"_ba, DriveError::twoFactorClientUnsupported());
    login("sign-in 403 otherwise", 403, R"({"error":"forbidden"})"_ba,
          DriveError::notAuthenticated());
    login("sign-in 500", 500, "down"_ba, DriveError::http(500, u"down"_s));
}

void TestDriveError::mapping()
{
    QFETCH(bool, login);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(std::optional<QString>, conflict);
    QFETCH(DriveError, expected);
    QCOMPARE(login ? mapLoginError(status, body, conflict) : mapHTTPError(status, body, conflict),
             expected);
}

QTEST_GUILESS_MAIN(TestDriveError)
#include "test_drive_error.moc"
