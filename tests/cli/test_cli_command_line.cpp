// SPDX-License-Identifier: GPL-3.0-or-later
// What the command line accepts and refuses, the durations it reads, how each failure becomes an
// exit status, and the stable form of `status --json`.
#include "CommandFailure.h"
#include "CommandLine.h"
#include "Durations.h"
#include "StatusReport.h"
#include "auth/KeychainError.h"
#include "errors/DriveError.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QJsonObject>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::CommandLine;

Q_DECLARE_METATYPE(OrvelanNimbal::CommandLine::ExitStatus)

class TestCliCommandLine : public QObject {
    Q_OBJECT

private slots:
    void acceptedCommandLines_data();
    void acceptedCommandLines();
    void refusedCommandLines_data();
    void refusedCommandLines();
    void durations_data();
    void durations();
    void exitStatusOfEachFailure_data();
    void exitStatusOfEachFailure();
    void statusStates_data();
    void statusStates();
    void statusJsonKeepsItsKeys();
};

void TestCliCommandLine::acceptedCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QString>("forValue");
    QTest::addColumn<QStringList>("rest");
    QTest::newRow("status") << QStringList{u"status"_qs} << QStringList{} << QString()
                            << QStringList{};
    QTest::newRow("json") << QStringList{u"status"_qs, u"--json"_qs} << QStringList{u"--json"_qs}
                          << QString() << QStringList{};
    QTest::newRow("value apart") << QStringList{u"pause"_qs, u"--for"_qs, u"2m"_qs} << QStringList{}
                                 << u"2m"_qs << QStringList{};
    QTest::newRow("value joined") << QStringList{u"pause"_qs, u"--for=1h30m"_qs} << QStringList{}
                                  << u"1h30m"_qs << QStringList{};
    QTest::newRow("sign-in flags")
        << QStringList{u"signin"_qs, u"--password-stdin"_qs, u"a@b.c"_qs, u"--recovery"_qs}
        << QStringList{u"--password-stdin"_qs, u"--recovery"_qs} << QString()
        << QStringList{u"a@b.c"_qs};
    QTest::newRow("paths after --")
        << QStringList{u"filestatus"_qs, u"a"_qs, u"--"_qs, u"--json"_qs} << QStringList{}
        << QString() << QStringList{u"a"_qs, u"--json"_qs};
    QTest::newRow("help of a command") << QStringList{u"signin"_qs, u"--help"_qs}
                                       << QStringList{u"--help"_qs} << QString() << QStringList{};
    QTest::newRow("help command") << QStringList{u"help"_qs, u"wait"_qs}
                                  << QStringList{u"--help"_qs} << QString() << QStringList{};
}

void TestCliCommandLine::acceptedCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, flags);
    QFETCH(QString, forValue);
    QFETCH(QStringList, rest);
    const Invocation invocation = parse(arguments);
    QCOMPARE(invocation.flags, QSet<QString>(flags.cbegin(), flags.cend()));
    QCOMPARE(invocation.values.value(u"--for"_qs), forValue);
    QCOMPARE(invocation.arguments, rest);
}

void TestCliCommandLine::refusedCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    QTest::newRow("nothing") << QStringList{} << u"Usage : nimbal COMMANDE"_qs;
    QTest::newRow("unknown command") << QStringList{u"sync"_qs} << u"Commande inconnue"_qs;
    QTest::newRow("unknown option")
        << QStringList{u"status"_qs, u"--verbose"_qs} << u"Option inconnue pour status"_qs;
    QTest::newRow("another command's option")
        << QStringList{u"wait"_qs, u"--for"_qs, u"1"_qs} << u"Option inconnue pour wait"_qs;
    QTest::newRow("missing value")
        << QStringList{u"wait"_qs, u"--timeout"_qs} << u"attend une valeur"_qs;
    QTest::newRow("flag with a value")
        << QStringList{u"status"_qs, u"--json=yes"_qs} << u"ne prend pas de valeur"_qs;
    QTest::newRow("no address") << QStringList{u"signin"_qs} << u"Arguments inattendus"_qs;
    // A password can never be given on the command line: there is no place for it.
    QTest::newRow("password as argument")
        << QStringList{u"signin"_qs, u"a@b.c"_qs, u"hunter2"_qs} << u"Arguments inattendus"_qs;
    QTest::newRow("no path") << QStringList{u"filestatus"_qs} << u"Arguments inattendus"_qs;
}

void TestCliCommandLine::refusedCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    try {
        parse(arguments);
        QFAIL("accepted");
    } catch (const CommandFailure &failure) {
        QCOMPARE(failure.status(), ExitStatus::usage);
        QVERIFY2(failure.message().contains(says), qPrintable(failure.message()));
    }
}

void TestCliCommandLine::durations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("seconds"); // 0: refused
    QTest::newRow("plain seconds") << u"90"_qs << qint64(90);
    QTest::newRow("seconds") << u"45s"_qs << qint64(45);
    QTest::newRow("minutes") << u"10m"_qs << qint64(600);
    QTest::newRow("hours and minutes") << u"1h30m"_qs << qint64(5400);
    QTest::newRow("a day") << u"1d"_qs << qint64(86400);
    QTest::newRow("all units") << u"1d2h3m4s"_qs << qint64(93784);
    QTest::newRow("zero") << u"0"_qs << qint64(0);
    QTest::newRow("zero minutes") << u"0m"_qs << qint64(0);
    QTest::newRow("negative") << u"-5"_qs << qint64(0);
    QTest::newRow("plus sign") << u"+5"_qs << qint64(0);
    QTest::newRow("units out of order") << u"30m1h"_qs << qint64(0);
    QTest::newRow("unit twice") << u"1m1m"_qs << qint64(0);
    QTest::newRow("unknown unit") << u"3w"_qs << qint64(0);
    QTest::newRow("no amount") << u"h"_qs << qint64(0);
    QTest::newRow("trailing number") << u"1h30"_qs << qint64(0);
    QTest::newRow("beyond a year") << u"400d"_qs << qint64(0);
    QTest::newRow("overflowing digits") << u"99999999999999999999s"_qs << qint64(0);
    QTest::newRow("empty") << QString() << qint64(0);
}

void TestCliCommandLine::durations()
{
    QFETCH(QString, text);
    QFETCH(qint64, seconds);
    const std::optional<std::chrono::seconds> parsed = parseDuration(text);
    QCOMPARE(parsed.has_value(), seconds > 0);
    if (parsed)
        QCOMPARE(parsed->count(), seconds);
}

void TestCliCommandLine::exitStatusOfEachFailure_data()
{
    QTest::addColumn<int>("driveError"); // index in driveErrors(), -1: a bus error
    QTest::addColumn<QString>("busError");
    QTest::addColumn<ExitStatus>("status");
    const auto drive = [](const char *name, int error, ExitStatus status) {
        QTest::newRow(name) << error << QString() << status;
    };
    const auto bus = [](const char *name, const QString &error, ExitStatus status) {
        QTest::newRow(name) << -1 << error << status;
    };
    drive("wrong password", 0, ExitStatus::refused);
    drive("wrong code", 1, ExitStatus::refused);
    drive("too many attempts", 2, ExitStatus::refused);
    drive("service unreachable", 3, ExitStatus::retryable);
    drive("service failing", 4, ExitStatus::retryable);
    const QString prefix = u"net.orvelan.nimbal.FileProvider1.Error."_qs;
    bus("no session for the extension", prefix + u"NoSession"_qs, ExitStatus::notSignedIn);
    bus("paused", prefix + u"Paused"_qs, ExitStatus::refused);
    bus("domain switched off", prefix + u"DomainDisabled"_qs, ExitStatus::refused);
    bus("extension failed", prefix + u"Failed"_qs, ExitStatus::retryable);
    bus("no extension installed", u"org.freedesktop.DBus.Error.ServiceUnknown"_qs,
        ExitStatus::unreachable);
    bus("bus gone", u"org.freedesktop.DBus.Error.Disconnected"_qs, ExitStatus::unreachable);
    bus("no answer in time", u"org.freedesktop.DBus.Error.NoReply"_qs, ExitStatus::retryable);
}

void TestCliCommandLine::exitStatusOfEachFailure()
{
    QFETCH(int, driveError);
    QFETCH(QString, busError);
    QFETCH(ExitStatus, status);
    static const std::vector<DriveError> driveErrors{
        DriveError::notAuthenticated(), DriveError::twoFactorInvalidCode(),
        DriveError::tooManyAttempts(), DriveError::transport(u"connexion refusée"_qs),
        DriveError::http(503, {})};
    if (driveError >= 0) {
        const DriveError &error = driveErrors[size_t(driveError)];
        const CommandFailure failure = CommandFailure::from(error);
        QCOMPARE(failure.status(), status);
        QCOMPARE(failure.message(), error.errorDescription());
    } else {
        const QDBusError error(QDBusMessage::createError(busError, u"Message du service."_qs));
        QCOMPARE(CommandFailure::from(error).status(), status);
    }
    // The keychain is always a "cannot reach" failure, saying what to do.
    const CommandFailure keychain = CommandFailure::from(KeychainError(-1, u"verrouillé"_qs));
    QCOMPARE(keychain.status(), ExitStatus::unreachable);
    QVERIFY(keychain.message().contains(u"gnome-keyring"));
}

void TestCliCommandLine::statusStates_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<qint64>("left");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("signed out") << false << true << true << false << qint64(0) << u"signedOut"_qs
                                << u"Non connecté"_qs;
    QTest::newRow("no extension") << true << false << true << false << qint64(0)
                                  << u"extensionUnreachable"_qs
                                  << u"Service de synchronisation injoignable"_qs;
    QTest::newRow("switched off") << true << true << false << false << qint64(0)
                                  << u"needsApproval"_qs << u"En attente d'autorisation"_qs;
    QTest::newRow("paused") << true << true << true << true << qint64(3) << u"paused"_qs
                            << u"Synchronisation en pause"_qs;
    QTest::newRow("work left") << true << true << true << false << qint64(3) << u"syncing"_qs
                               << u"Synchronisation en cours"_qs;
    QTest::newRow("up to date") << true << true << true << false << qint64(0) << u"ready"_qs
                                << u"Nimbal à jour"_qs;
}

void TestCliCommandLine::statusStates()
{
    QFETCH(bool, signedIn);
    QFETCH(bool, reachable);
    QFETCH(bool, enabled);
    QFETCH(bool, paused);
    QFETCH(qint64, left);
    QFETCH(QString, state);
    QFETCH(QString, text);
    StatusReport report;
    report.signedIn = signedIn;
    report.extensionReachable = reachable;
    report.extensionEnabled = true;
    report.domainRegistered = true;
    report.domainEnabled = enabled;
    report.paused = paused;
    report.toReceive = StatusReport::Left{left, left * 100};
    QCOMPARE(report.state(), state);
    QCOMPARE(report.stateText(), text);
    QCOMPARE(report.toJson().value(u"state").toString(), state);
}

void TestCliCommandLine::statusJsonKeepsItsKeys()
{
    // Scripts read these keys: each is there, null when unknown, signed in or not.
    const QStringList keys{
        u"account"_qs,  u"archived"_qs, u"conflicts"_qs,   u"extension"_qs, u"lastConflict"_qs,
        u"lastSync"_qs, u"paused"_qs,   u"pausedUntil"_qs, u"quota"_qs,     u"serviceReachable"_qs,
        u"signedIn"_qs, u"state"_qs,    u"stateText"_qs,   u"toReceive"_qs, u"toSend"_qs};
    StatusReport signedOut;
    QCOMPARE(signedOut.toJson().keys(), keys);
    QVERIFY(signedOut.toJson().value(u"account").isNull());
    StatusReport report;
    report.signedIn = true;
    report.account = u"a@b.c"_qs;
    report.paused = true;
    report.pausedUntil = QDateTime(QDate(2026, 12, 6), QTime(14, 5), Qt::UTC);
    report.lastSync = QDateTime(QDate(2026, 12, 6), QTime(13, 0, 7), Qt::UTC);
    report.quota = DriveQuota{1536, 10240};
    const QJsonObject json = report.toJson();
    QCOMPARE(json.keys(), keys);
    QCOMPARE(json.value(u"pausedUntil").toString(), u"2026-12-06T14:05:00Z"_qs);
    QCOMPARE(json.value(u"lastSync").toString(), u"2026-12-06T13:00:07Z"_qs);
    QCOMPARE(json.value(u"quota").toObject().value(u"usedMegabytes").toDouble(), 1536);
    QVERIFY(json.value(u"toSend").isNull());
    QCOMPARE(json.value(u"extension").toObject().keys(),
             (QStringList{u"domainEnabled"_qs, u"domainRegistered"_qs, u"enabled"_qs, u"folder"_qs,
                          u"reachable"_qs}));
    QVERIFY(report.toText().contains(u"Stockage : 1,5\u00A0Go utilisés sur 10\u00A0Go"));
}

QTEST_GUILESS_MAIN(TestCliCommandLine)
#include "test_cli_command_line.moc"
