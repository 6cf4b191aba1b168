// SPDX-License-Identifier: GPL-3.0-or-later
// The service's data on disk across kills and starts: what uploads cut short leave behind is
// gone at the next start, everything is private to the service's user, a data folder others
// may enter is refused, and two services never share one.
#include "LocalService.h"
#include "RawHttp.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <sys/stat.h>

using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

const std::string password = "redemarrage-du-service";
constexpr int partSize = 8 << 20;

// The head and the start of a direct upload's form, announcing `size` bytes of content.
std::string directUploadStart(const std::string &token, const std::string &name, int size,
                              std::string &tail)
{
    const std::string start = "--b\r\nContent-Disposition: form-data; name=\"file\"; filename=\""
                              + name + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    tail = "\r\n--b--\r\n";
    return request("POST", "/api/v1/drive/upload/file",
                   {{"Authorization", "Bearer " + token},
                    {"Content-Type", "multipart/form-data; boundary=b"},
                    {"Content-Length", std::to_string(start.size() + size_t(size) + tail.size())}})
           + start;
}

QStringList filesUnder(const QString &folder, const QString &pattern)
{
    QStringList found;
    QDirIterator files(folder, {pattern}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        found.append(files.next());
    return found;
}

bool waitForFile(const QString &folder, const QString &pattern)
{
    for (int tries = 0; tries < 200; ++tries) {
        if (!filesUnder(folder, pattern).isEmpty())
            return true;
        QTest::qWait(25);
    }
    return false;
}

struct Run {
    int exitCode = -1;
    QString errors;
};

Run runService(const QStringList &arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("NIMBAL_SERVICE"), arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class TestServiceRestart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void removesWhatAKilledUploadLeft();
    void keepsEverythingPrivate();
    void refusesDataFoldersOthersMayEnter_data();
    void refusesDataFoldersOthersMayEnter();
    void refusesASecondServiceOnTheSameData();
    void abandonedUploadsExpire();

private:
    std::string signedIn();

    std::unique_ptr<LocalService> m_service;
    QString m_email;
};

void TestServiceRestart::initTestCase()
{
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_email = addAccount(*m_service, u"restart"_qs, password);
}

std::string TestServiceRestart::signedIn()
{
    return signIn(m_service->port(), m_email.toStdString(), password);
}

void TestServiceRestart::removesWhatAKilledUploadLeft()
{
    const std::string token = signedIn();
    const std::string authorization = "Bearer " + token;
    const QString data = m_service->dataDirectory();

    // A part on its way to the storage…
    RawConnection api(m_service->port());
    api.send(
        request("POST", "/api/v1/drive/upload/multipart/init",
                {{"Authorization", authorization}, {"Content-Type", "application/json"}},
                jsonText({{u"file_name"_qs, u"gros.bin"_qs}, {u"file_size"_qs, 2 * partSize}})));
    const QJsonObject upload = jsonOf(api.read()).object();
    api.send(request("POST", "/api/v1/drive/upload/multipart/presign",
                     {{"Authorization", authorization}, {"Content-Type", "application/json"}},
                     jsonText({{u"upload_id"_qs, upload.value(u"upload_id")},
                               {u"s3_key"_qs, upload.value(u"s3_key")},
                               {u"part_number"_qs, 1}})));
    const QUrl partUrl(jsonOf(api.read()).object().value(u"url").toString());
    QVERIFY(partUrl.isValid());
    RawConnection part(m_service->port());
    part.send(request("PUT", partUrl.path().toStdString() + "?" + partUrl.query().toStdString(),
                      {{"Content-Length", std::to_string(partSize)}}));
    part.send(std::string(partSize / 2, 'p'));

    // …and a direct upload, both half sent when the service dies.
    RawConnection direct(m_service->port());
    std::string tail;
    direct.send(directUploadStart(token, "direct.bin", 4 << 20, tail));
    direct.send(std::string(2 << 20, 'd'));
    // The part goes straight into its place in the upload's content.
    QVERIFY(waitForFile(data + u"/uploads"_qs, u"content"_qs));
    QVERIFY(waitForFile(data + u"/storage"_qs, u"*.partial"_qs));
    const QString uploadFolder =
        QFileInfo(filesUnder(data + u"/uploads"_qs, u"content"_qs).constFirst())
            .dir()
            .absolutePath();
    // The parts of an upload the database no longer knows (a kill between the two).
    const QString accountParts = uploadFolder.section(u'/', 0, -2);
    const QString orphan = accountParts + u"/0123456789abcdef0123456789abcdef"_qs;
    QVERIFY(QDir().mkpath(orphan));
    QFile orphanPart(orphan + u"/1"_qs);
    QVERIFY(orphanPart.open(QIODevice::WriteOnly) && orphanPart.write("perdu") == 5);
    orphanPart.close();
    // A content put in its place whose commit never came, beside one a file has.
    RawConnection kept(m_service->port());
    kept.send(directUploadStart(token, "garde.txt", 5, tail) + "garde" + tail);
    QCOMPARE(kept.read().status, 201);
    const QString accountId = accountParts.section(u'/', -1);
    QFile uncommitted(data + u"/storage/drive/"_qs + accountId
                      + u"/00000000000000000000000000000000"_qs);
    QVERIFY(uncommitted.open(QIODevice::WriteOnly) && uncommitted.write("jamais") == 6);
    uncommitted.close();

    m_service->killAndRestart();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));

    QCOMPARE(filesUnder(data, u"*.partial"_qs), QStringList());
    QVERIFY(!QFileInfo::exists(orphan));
    // No part of the open upload arrived whole: nothing of its content is kept.
    QVERIFY(!QFileInfo::exists(uploadFolder));
    QVERIFY(!uncommitted.exists());
    // The upload itself is still open: its client may send the part again.
    const LocalService::Leftovers left = m_service->leftovers(m_email);
    QCOMPARE(left.uploads, 1);
    QCOMPARE(left.partFiles, 0);
    QCOMPARE(left.contentFiles, 1);
}

void TestServiceRestart::keepsEverythingPrivate()
{
    const std::string token = signedIn();
    RawConnection direct(m_service->port());
    std::string tail;
    direct.send(directUploadStart(token, "petit.txt", 5, tail) + "prive" + tail);
    QCOMPARE(direct.read().status, 201);

    QDirIterator entries(m_service->dataDirectory(),
                         QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    int files = 0;
    while (entries.hasNext()) {
        const QString path = entries.next();
        struct stat status {};
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &status), 0);
        const unsigned mode = status.st_mode & 0777;
        if (S_ISDIR(status.st_mode)) {
            QVERIFY2(mode == 0700, qPrintable(path + QStringLiteral(" is %1").arg(mode, 0, 8)));
        } else {
            ++files;
            QVERIFY2(mode == 0600, qPrintable(path + QStringLiteral(" is %1").arg(mode, 0, 8)));
        }
    }
    // The database, its log and shared memory, the lock, and the content at least.
    QVERIFY(files >= 5);
    struct stat top {};
    ::stat(QFile::encodeName(m_service->dataDirectory()).constData(), &top);
    QCOMPARE(top.st_mode & 0777, 0700u);
}

void TestServiceRestart::refusesDataFoldersOthersMayEnter_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("refused");
    const QStringList serve{u"serve"_qs, u"--port"_qs, u"0"_qs};
    const QStringList addAccountCommand{u"add-account"_qs, u"--email"_qs, u"prive@nimbal.test"_qs,
                                        u"--password"_qs, u"mot-de-passe"_qs};
    QTest::newRow("served, open to all") << serve << 0755 << true;
    QTest::newRow("served, open to the group") << serve << 0750 << true;
    QTest::newRow("an account added, open to all") << addAccountCommand << 0755 << true;
    QTest::newRow("an account added, private") << addAccountCommand << 0700 << false;
}

void TestServiceRestart::refusesDataFoldersOthersMayEnter()
{
    QFETCH(QStringList, command);
    QFETCH(int, mode);
    QFETCH(bool, refused);
    QTemporaryDir folder;
    QVERIFY(::chmod(QFile::encodeName(folder.path()).constData(), mode_t(mode)) == 0);

    const Run run = runService(command + QStringList{u"--data"_qs, folder.path()});

    QCOMPARE(run.exitCode != 0, refused);
    if (refused) {
        QVERIFY2(run.errors.contains(u"chmod 700"), qPrintable(run.errors));
        QVERIFY(!QFileInfo::exists(folder.path() + u"/nimbal.sqlite3"_qs));
    }
}

void TestServiceRestart::refusesASecondServiceOnTheSameData()
{
    const Run run =
        runService({u"serve"_qs, u"--port"_qs, u"0"_qs, u"--data"_qs, m_service->dataDirectory()});

    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.errors.contains(u"sert déjà"), qPrintable(run.errors));
    // The first one carries on.
    QCOMPARE(m_service->leftovers(m_email).uploads, 1);
}

void TestServiceRestart::abandonedUploadsExpire()
{
    // The upload left open above has had no part since; nobody sends a request about it.
    QCOMPARE(m_service->leftovers(m_email).uploads, 1);
    RawConnection control(m_service->port());
    control.send(request("POST", "/_test/lifetimes", {{"Content-Type", "application/json"}},
                         jsonText({{u"idle_upload_seconds"_qs, 0}})));
    QCOMPARE(control.read().status, 204);

    QTRY_COMPARE_WITH_TIMEOUT(m_service->leftovers(m_email).uploads, 0, 3000);
    const LocalService::Leftovers left = m_service->leftovers(m_email);
    QCOMPARE(left.parts, 0);
    QCOMPARE(left.partFiles, 0);
}

QTEST_GUILESS_MAIN(TestServiceRestart)
#include "test_service_restart.moc"
