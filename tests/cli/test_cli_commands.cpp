// SPDX-License-Identifier: GPL-3.0-or-later
// `nimbal` as a user runs it: against the real local service, the real keychain and the real
// extension, started by activation on a private bus, with real folders.
#include "AsyncTest.h"
#include "ExtensionBus.h"
#include "NimbalProgram.h"
#include "OathTool.h"
#include "ServiceTest.h"
#include "bus/FileProviderBus.h"
#include "config/OrvelanNimbal.h"

#include <QCryptographicHash>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <QUuid>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

using Result = NimbalProgram::Result;

QString describe(const Result &result)
{
    return QStringLiteral("status %1\n--- out:\n%2\n--- err:\n%3")
        .arg(result.status)
        .arg(result.out, result.err);
}

QJsonObject jsonOf(const Result &result)
{
    return QJsonDocument::fromJson(result.out.toUtf8()).object();
}

void write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) >= 0,
             qPrintable(path));
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Polls `done` until it holds or the ceiling passes.
bool eventually(const std::function<bool()> &done, int ceilingMilliseconds = 60000)
{
    const QDeadlineTimer deadline(ceilingMilliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

} // namespace

class TestCliCommands : public ServiceTest {
    Q_OBJECT

    // One user's computer: a home with its extension on a bus of its own, and `nimbal` there.
    struct Computer {
        QString email;
        std::unique_ptr<ExtensionBus> bus;
        std::unique_ptr<NimbalProgram> nimbal;

        QString folder() const { return bus->domainFolder(email); }
    };

    std::unique_ptr<Computer> computer(const QString &email)
    {
        auto made = std::make_unique<Computer>();
        made->email = email;
        // Its extension keeps its log in its home, as it does where no journal takes it.
        qunsetenv("JOURNAL_STREAM");
        const QString suffix = u".cli-"_qs + QUuid::createUuid().toString(QUuid::Id128).left(12);
        made->bus = std::make_unique<ExtensionBus>(service().apiBaseURL(), suffix);
        [&] { QVERIFY2(made->bus->isRunning(), qPrintable(made->bus->errorString())); }();
        QProcessEnvironment environment = made->bus->environment();
        environment.insert(u"NIMBAL_FILEPROVIDER_BUS_ADDRESS"_qs, made->bus->address());
        made->nimbal = std::make_unique<NimbalProgram>(environment);
        return made;
    }

    // Signed in from standard input, the folder filled.
    std::unique_ptr<Computer> signedInComputer(const QString &tag)
    {
        auto made = computer(addAccount(tag));
        const Result signIn = made->nimbal->run({u"signin"_qs, u"--password-stdin"_qs, made->email},
                                                password.toUtf8() + '\n');
        [&] { QVERIFY2(signIn.status == 0, qPrintable(describe(signIn))); }();
        const Result settled = made->nimbal->run({u"wait"_qs, u"--timeout"_qs, u"60"_qs});
        [&] { QVERIFY2(settled.status == 0, qPrintable(describe(settled))); }();
        return made;
    }

    // The drive as another device sees it.
    DriveAPI driveOf(const QString &email)
    {
        auto client = newClient();
        signIn(*client, email);
        return DriveAPI(client);
    }

    // What the application's live connection does when the service announces a change.
    static void signal(Computer &computer)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            fileProviderBundleIdentifier, FileProviderBus::objectPath,
            FileProviderBus::interfaceName, u"SignalWorkingSet"_qs);
        call << computer.email;
        const QDBusMessage reply = computer.bus->bus().call(call);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }

    static bool onDrive(const DriveAPI &drive, const QString &name)
    {
        const std::vector<DriveFile> files = runAsync(drive.files({}));
        return std::any_of(files.cbegin(), files.cend(),
                           [&](const DriveFile &file) { return file.name == name; });
    }

private slots:
    void signInWithAuthenticatorCodeAtATerminal();
    void signInWithRecoveryCodeRemembersTheComputer();
    void refusedSignIns_data();
    void refusedSignIns();
    void exitStatusOfEachFailure_data();
    void exitStatusOfEachFailure();
    void pauseHoldsChangesBothWaysUntilResumed();
    void timedPauseEndsByItselfAcrossARestart();
    void waitReturnsOnceSettledAndTimesOutWhileAFileIsWritten();
    void fileStatusAndConflicts();
    void logShowsTheExtensionsLinesWithoutTheAccount();
};

void TestCliCommands::signInWithAuthenticatorCodeAtATerminal()
{
    const QString email = addAccount(u"cli-totp"_qs, true);
    auto user = computer(email);
    const Result before = user->nimbal->run({u"status"_qs, u"--json"_qs});
    QCOMPARE(before.status, 2);
    QCOMPARE(jsonOf(before).value(u"signedIn"), QJsonValue(false));
    QCOMPARE(jsonOf(before).value(u"state"), QJsonValue(u"signedOut"_qs));

    TerminalSession terminal({u"signin"_qs, email}, user->nimbal->environment());
    QVERIFY2(terminal.waitFor(u"Mot de passe : "_qs), qPrintable(terminal.screen()));
    terminal.type(password);
    QVERIFY2(terminal.waitFor(u"Code : "_qs), qPrintable(terminal.screen()));
    terminal.type(totpCode(totpSecret));
    QCOMPARE(terminal.finish(), 0);
    QVERIFY2(terminal.screen().contains(u"Connecté en tant que "_qs + email),
             qPrintable(terminal.screen()));
    // Typed without echo: the password never shows on the screen.
    QVERIFY(!terminal.screen().contains(password));

    // The session is where the extension looks: the folder fills without any panel.
    QVERIFY(eventually([&] { return QFile::exists(user->folder() + u"/.nimbal-folder"_qs); }));
    const Result settled = user->nimbal->run({u"wait"_qs, u"--timeout"_qs, u"60"_qs});
    QVERIFY2(settled.status == 0, qPrintable(describe(settled)));
    const Result after = user->nimbal->run({u"status"_qs, u"--json"_qs});
    QVERIFY2(after.status == 0, qPrintable(describe(after)));
    const QJsonObject json = jsonOf(after);
    QCOMPARE(json.value(u"account").toString(), email);
    QCOMPARE(json.value(u"state").toString(), u"ready"_qs);
    QCOMPARE(json.value(u"extension").toObject().value(u"folder").toString(), user->folder());
    QVERIFY(!json.value(u"lastSync").isNull());
    QCOMPARE(json.value(u"toSend").toObject().value(u"items").toInt(-1), 0);
    QVERIFY(json.value(u"serviceReachable").toBool());
    const Result text = user->nimbal->run({u"status"_qs});
    QVERIFY2(text.out.contains(u"État : Nimbal à jour\n"_qs), qPrintable(describe(text)));
}

void TestCliCommands::signInWithRecoveryCodeRemembersTheComputer()
{
    const QStringList codes{u"abc123-def456"_qs, u"aaa111-bbb222"_qs};
    const QString email = addAccount(u"cli-recovery"_qs, true, codes);
    auto user = computer(email);
    TerminalSession terminal({u"signin"_qs, u"--recovery"_qs, u"--remember"_qs, email},
                             user->nimbal->environment());
    QVERIFY2(terminal.waitFor(u"Mot de passe : "_qs), qPrintable(terminal.screen()));
    terminal.type(password);
    QVERIFY2(terminal.waitFor(u"Code de secours : "_qs), qPrintable(terminal.screen()));
    terminal.type(codes.first());
    QCOMPARE(terminal.finish(), 0);
    QVERIFY(!terminal.screen().contains(codes.first()));

    // Remembered: signing in again asks for no code (standard input has none to give).
    QCOMPARE(user->nimbal->run({u"signout"_qs}).status, 0);
    QCOMPARE(user->nimbal->run({u"status"_qs}).status, 2);
    const Result again =
        user->nimbal->run({u"signin"_qs, u"--password-stdin"_qs, email}, password.toUtf8() + '\n');
    QVERIFY2(again.status == 0, qPrintable(describe(again)));
}

void TestCliCommands::refusedSignIns_data()
{
    QTest::addColumn<int>("account"); // 0: authenticator, 1: passkey only
    QTest::addColumn<QString>("passwordTyped");
    QTest::addColumn<bool>("wrongCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("wrong code") << 0 << password << true << u"Code invalide"_qs;
    QTest::newRow("wrong password") << 0 << u"pas le bon"_qs << false << QString();
    QTest::newRow("passkey only")
        << 1 << password << false
        << u"Cette boîte n'accepte que les clés d'accès. Connectez-vous depuis le webmail, ou "
           "ajoutez une application d'authentification depuis l'espace Comptes."_qs;
}

void TestCliCommands::refusedSignIns()
{
    QFETCH(int, account);
    QFETCH(QString, passwordTyped);
    QFETCH(bool, wrongCode);
    QFETCH(QString, says);
    const QString email = account == 0 ? addAccount(u"cli-refused"_qs, true)
                                       : addAccount(u"cli-passkey"_qs, false, {}, true);
    auto user = computer(email);
    // A code of ten minutes ago is no longer accepted.
    const QString code = wrongCode ? totpCode(totpSecret, -20) : totpCode(totpSecret);
    const Result signIn = user->nimbal->run({u"signin"_qs, u"--password-stdin"_qs, email},
                                            (passwordTyped + u'\n' + code + u'\n').toUtf8());
    QVERIFY2(signIn.status == 4, qPrintable(describe(signIn)));
    if (!says.isEmpty())
        QVERIFY2(signIn.err.contains(says), qPrintable(describe(signIn)));
    QVERIFY(!signIn.err.contains(passwordTyped) && !signIn.out.contains(passwordTyped));
    QCOMPARE(user->nimbal->run({u"status"_qs}).status, 2);
}

void TestCliCommands::exitStatusOfEachFailure_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("variable"); // set to `value` for this run only
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("status");
    QTest::newRow("usage") << QStringList{u"synchronise"_qs} << false << QString() << QString()
                           << 1;
    QTest::newRow("not signed in")
        << QStringList{u"pause"_qs} << false << QString() << QString() << 2;
    QTest::newRow("service unreachable")
        << QStringList{u"signin"_qs, u"--password-stdin"_qs, u"x@nimbal.example"_qs} << false
        << u"NIMBAL_FILEPROVIDER_API_BASE_URL"_qs << u"http://127.0.0.1:9/api/v1"_qs << 3;
    QTest::newRow("wait runs out")
        << QStringList{u"wait"_qs, u"--timeout"_qs, u"1"_qs} << true << QString() << QString() << 3;
    QTest::newRow("paused: nothing to wait for")
        << QStringList{u"wait"_qs} << true << u"pause"_qs << QString() << 4;
    QTest::newRow("keychain unreachable")
        << QStringList{u"status"_qs} << false << u"DBUS_SESSION_BUS_ADDRESS"_qs
        << u"unix:path=/nonexistent/bus"_qs << 5;
    QTest::newRow("extension unreachable")
        << QStringList{u"resume"_qs} << true << u"NIMBAL_FILEPROVIDER_BUS_ADDRESS"_qs
        << u"unix:path=/nonexistent/bus"_qs << 5;
}

void TestCliCommands::exitStatusOfEachFailure()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, signedIn);
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(int, status);
    auto user =
        signedIn ? signedInComputer(u"cli-status"_qs) : computer(addAccount(u"cli-status"_qs));
    if (variable == u"pause")
        QCOMPARE(user->nimbal->run({u"pause"_qs}).status, 0);
    else if (!variable.isEmpty())
        user->nimbal->environment().insert(variable, value);
    if (QTest::currentDataTag() == QByteArrayLiteral("wait runs out")) {
        // A file held open for writing is not sent before it is closed: work is left.
        QFile open(user->folder() + u"/en cours.txt"_qs);
        QVERIFY(open.open(QIODevice::WriteOnly));
        open.write("pas fini");
        open.flush();
        const Result result = user->nimbal->run(arguments);
        QVERIFY2(result.status == status, qPrintable(describe(result)));
        QVERIFY2(result.err.contains(u"Délai dépassé"_qs), qPrintable(describe(result)));
        return;
    }
    const Result result = user->nimbal->run(arguments, password.toUtf8() + '\n');
    QVERIFY2(result.status == status, qPrintable(describe(result)));
    QVERIFY2(!result.err.isEmpty(), "every failure says why");
}

void TestCliCommands::pauseHoldsChangesBothWaysUntilResumed()
{
    auto user = signedInComputer(u"cli-pause"_qs);
    const DriveAPI drive = driveOf(user->email);
    const Result pause = user->nimbal->run({u"pause"_qs});
    QVERIFY2(pause.status == 0, qPrintable(describe(pause)));

    service().putFile(user->email, u"du web.txt"_qs, "arrivé pendant la pause");
    signal(*user);
    write(user->folder() + u"/d'ici.txt"_qs, "écrit pendant la pause");
    QTest::qWait(3000); // longer than the folder's quiet period and a pass
    QVERIFY(!QFile::exists(user->folder() + u"/du web.txt"_qs));
    QVERIFY(!onDrive(drive, u"d'ici.txt"_qs));
    const QJsonObject status = jsonOf(user->nimbal->run({u"status"_qs, u"--json"_qs}));
    QCOMPARE(status.value(u"state").toString(), u"paused"_qs);
    QVERIFY(status.value(u"pausedUntil").isNull());
    QCOMPARE(status.value(u"toSend").toObject().value(u"items").toInt(), 1);
    const Result waiting =
        user->nimbal->run({u"filestatus"_qs, u"--json"_qs, user->folder() + u"/d'ici.txt"_qs});
    QCOMPARE(QJsonDocument::fromJson(waiting.out.toUtf8()).array().first()[u"state"],
             QJsonValue(u"pending-upload"_qs));

    QCOMPARE(user->nimbal->run({u"resume"_qs}).status, 0);
    const Result settled = user->nimbal->run({u"wait"_qs, u"--timeout"_qs, u"60"_qs});
    QVERIFY2(settled.status == 0, qPrintable(describe(settled)));
    QCOMPARE(read(user->folder() + u"/du web.txt"_qs), QByteArray("arrivé pendant la pause"));
    QVERIFY(onDrive(drive, u"d'ici.txt"_qs));
}

void TestCliCommands::timedPauseEndsByItselfAcrossARestart()
{
    auto user = signedInComputer(u"cli-timed"_qs);
    const Result pause = user->nimbal->run({u"pause"_qs, u"--for"_qs, u"4s"_qs});
    QVERIFY2(pause.status == 0, qPrintable(describe(pause)));
    QVERIFY2(pause.err.contains(u"Synchronisation en pause jusqu'à "_qs),
             qPrintable(describe(pause)));
    // The extension stops (a crash, a logout) and the next call starts it again: still paused.
    user->bus->killDaemon();
    const QJsonObject status = jsonOf(user->nimbal->run({u"status"_qs, u"--json"_qs}));
    QCOMPARE(status.value(u"state").toString(), u"paused"_qs);
    QVERIFY(!status.value(u"pausedUntil").isNull());
    service().putFile(user->email, u"après la pause.txt"_qs, "arrive à la fin de la pause");
    signal(*user);
    QTest::qWait(1000);
    QVERIFY(!QFile::exists(user->folder() + u"/après la pause.txt"_qs));
    // Nobody resumes: the pause ends on time and the first pass catches up.
    QVERIFY(eventually([&] { return QFile::exists(user->folder() + u"/après la pause.txt"_qs); },
                       30000));
    QCOMPARE(jsonOf(user->nimbal->run({u"status"_qs, u"--json"_qs})).value(u"paused"),
             QJsonValue(false));
}

void TestCliCommands::waitReturnsOnceSettledAndTimesOutWhileAFileIsWritten()
{
    auto user = signedInComputer(u"cli-wait"_qs);
    const QString path = user->folder() + u"/rapport.txt"_qs;
    {
        QFile open(path);
        QVERIFY(open.open(QIODevice::WriteOnly));
        open.write("première moitié");
        open.flush();
        const Result status = user->nimbal->run({u"filestatus"_qs, path});
        QVERIFY2(status.out == path + u" : en attente d'envoi (en cours d'écriture)\n"_qs,
                 qPrintable(describe(status)));
        const Result early = user->nimbal->run({u"wait"_qs, u"--timeout"_qs, u"3"_qs});
        QVERIFY2(early.status == 3, qPrintable(describe(early)));
        open.write(", seconde moitié");
    }
    const Result settled = user->nimbal->run({u"wait"_qs, u"--timeout"_qs, u"60"_qs});
    QVERIFY2(settled.status == 0, qPrintable(describe(settled)));
    QVERIFY(onDrive(driveOf(user->email), u"rapport.txt"_qs));
    const Result status = user->nimbal->run({u"filestatus"_qs, path});
    QCOMPARE(status.out, path + u" : synchronisé\n"_qs);
}

void TestCliCommands::fileStatusAndConflicts()
{
    auto user = signedInComputer(u"cli-files"_qs);
    const QString root = user->folder();
    DriveAPI drive = driveOf(user->email);
    const DriveFile shared = service().putFile(user->email, u"partagé.txt"_qs, "version commune");
    signal(*user);
    QCOMPARE(user->nimbal->run({u"wait"_qs, u"--timeout"_qs, u"60"_qs}).status, 0);

    // Both sides change the file while the computer is paused: a conflict at the resume.
    QCOMPARE(user->nimbal->run({u"pause"_qs}).status, 0);
    QTemporaryFile remote;
    QVERIFY(remote.open());
    remote.write("version du web");
    remote.flush();
    DriveAPI::LocalContent content;
    content.url = QUrl::fromLocalFile(remote.fileName());
    content.size = remote.size();
    content.contentHash = QString::fromLatin1(
        QCryptographicHash::hash("version du web", QCryptographicHash::Sha256).toHex());
    content.contentType = u"text/plain"_qs;
    runAsync(drive.replaceContent(shared, content, {}, {}));
    write(root + u"/partagé.txt"_qs, "version d'ici");
    write(root + u"/~$brouillon.docx"_qs, "verrou de l'éditeur");
    QCOMPARE(user->nimbal->run({u"resume"_qs}).status, 0);
    signal(*user);
    QCOMPARE(user->nimbal->run({u"wait"_qs, u"--timeout"_qs, u"60"_qs}).status, 0);

    const Result conflicts = user->nimbal->run({u"conflicts"_qs, u"--json"_qs});
    QVERIFY2(conflicts.status == 0, qPrintable(describe(conflicts)));
    const QJsonArray recorded = jsonOf(conflicts).value(u"conflicts").toArray();
    QCOMPARE(recorded.size(), 1);
    QCOMPARE(recorded.first()[u"originalName"].toString(), u"partagé.txt"_qs);
    const QString copy = recorded.first()[u"copyName"].toString();
    QVERIFY2(copy.startsWith(u"partagé (conflit Linux "_qs), qPrintable(copy));
    QCOMPARE(read(root + u'/' + copy), QByteArray("version d'ici"));

    const Result states =
        user->nimbal->run({u"filestatus"_qs, u"--json"_qs, root + u"/partagé.txt"_qs,
                           root + u'/' + copy, root + u"/~$brouillon.docx"_qs, root});
    QVERIFY2(states.status == 0, qPrintable(describe(states)));
    const QJsonArray answers = QJsonDocument::fromJson(states.out.toUtf8()).array();
    QCOMPARE(answers.size(), 4);
    QCOMPARE(answers[0][u"state"].toString(), u"synced"_qs);
    QCOMPARE(answers[1][u"state"].toString(), u"conflict"_qs);
    QCOMPARE(answers[2][u"state"].toString(), u"excluded"_qs);
    QCOMPARE(answers[2][u"reason"].toString(), u"excluded-name"_qs);
    QCOMPARE(answers[3][u"state"].toString(), u"conflict"_qs); // the worst of the folder
    const Result outside = user->nimbal->run({u"filestatus"_qs, QDir::tempPath()});
    QCOMPARE(outside.status, 1);
    const Result text = user->nimbal->run({u"conflicts"_qs});
    QVERIFY2(
        text.out.contains(u"« partagé.txt » : votre version est enregistrée sous « "_qs + copy),
        qPrintable(describe(text)));
}

void TestCliCommands::logShowsTheExtensionsLinesWithoutTheAccount()
{
    auto user = signedInComputer(u"cli-log"_qs);
    const Result log = user->nimbal->run({u"log"_qs});
    QVERIFY2(log.status == 0, qPrintable(describe(log)));
    QVERIFY2(log.out.contains(u"nimbal-fileprovider info net.orvelan.nimbal.sync.fileprovider: "
                              "Service de synchronisation prêt"_qs),
             qPrintable(log.out));
    QVERIFY2(log.out.contains(u"Domaine ajouté pour "_qs), qPrintable(log.out));
    QVERIFY2(!log.out.contains(user->email), qPrintable(log.out));
}

QTEST_GUILESS_MAIN(TestCliCommands)
#include "test_cli_commands.moc"
