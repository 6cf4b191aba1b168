// SPDX-License-Identifier: GPL-3.0-or-later
// Multipart uploads whose client went away without an abort, on a real SQLite file and a real
// parts folder, without a server: they expire after the idle lifetime, parts and all, and
// nothing else does.
#include "auth/Accounts.h"
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "ServiceContext.h"
#include "ServiceSchema.h"
#include "uploads/OpenUploads.h"
#include "uploads/PartStore.h"
#include "uploads/UploadLocks.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal::Service;

namespace {

constexpr qint64 start = 1'700'000'000;
constexpr qint64 day = Lifetimes::defaultIdleUpload;

} // namespace

class TestUploadExpiry : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void idleUploadsExpire_data();
    void idleUploadsExpire();
    void expiresWithoutARequest();

private:
    // An upload of the account opened at `start`, its last part stored at `touchedAt`, with
    // that part's file on disk.
    QString openUpload(const QString &id, std::int64_t touchedAt);
    bool isOpen(const QString &id);
    int partFiles() const { return m_context->partStore.countFiles(m_accountId); }

    std::unique_ptr<QTemporaryDir> m_directory;
    std::shared_ptr<FixedServiceClock> m_clock;
    std::unique_ptr<ServiceContext> m_context;
    std::int64_t m_accountId = 0;
};

void TestUploadExpiry::init()
{
    m_directory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_directory->isValid());
    ServiceConfig config;
    config.dataDirectory = m_directory->path().toStdString();
    m_clock = std::make_shared<FixedServiceClock>(start);
    m_context =
        std::make_unique<ServiceContext>(config, openDataDirectory(config.dataDirectory, serviceSchema()), m_clock);
    NewAccount account;
    account.email = QStringLiteral("envois@nimbal.test");
    account.password = QStringLiteral("pw");
    m_accountId = m_context->database().transaction(
        [&](Connection &connection) { return Accounts::create(connection, account, start); });
}

void TestUploadExpiry::cleanup()
{
    m_context.reset();
    m_directory.reset();
}

QString TestUploadExpiry::openUpload(const QString &id, std::int64_t touchedAt)
{
    UploadSession upload;
    upload.id = id;
    upload.accountId = m_accountId;
    upload.contentKey = QStringLiteral("drive/%1/%2").arg(m_accountId).arg(id);
    upload.fileSize = 5;
    upload.createdAt = start;
    upload.touchedAt = start;
    m_context->database().transaction([&](Connection &connection) {
        UploadSessions::insert(connection, upload);
        UploadSessions::recordPart(connection, id, {1, 5, QStringLiteral("\"e\"")}, touchedAt);
    });
    const PartStore &parts = m_context->partStore;
    std::error_code error;
    createPrivateFolders(parts.folderOf(m_accountId, id), error);
    QFile part(QString::fromStdString(parts.partPath(m_accountId, id, 1).string()));
    if (error || !part.open(QIODevice::WriteOnly) || part.write("parts") != 5)
        qFatal("the part of upload %s could not be written", qPrintable(id));
    return id;
}

bool TestUploadExpiry::isOpen(const QString &id)
{
    return m_context->database().read([&](Connection &connection) {
        return UploadSessions::findAnyAccount(connection, id).has_value();
    });
}

void TestUploadExpiry::idleUploadsExpire_data()
{
    QTest::addColumn<qint64>("lifetime");
    QTest::addColumn<qint64>("idle"); // seconds since its last part
    QTest::addColumn<bool>("busy");         // a request is working on it right now
    QTest::addColumn<bool>("expires");
    QTest::newRow("a part an hour ago") << day << qint64(3600) << false << false;
    QTest::newRow("a second short of a day") << day << day - 1 << false << false;
    QTest::newRow("a day without a part") << day << day << false << true;
    QTest::newRow("a week without a part") << day << 7 * day << false << true;
    QTest::newRow("a week, but a part is arriving") << day << 7 * day << true << false;
    QTest::newRow("a lifetime of 0, a part just now") << qint64(0) << qint64(0)
                                                      << false << true;
}

void TestUploadExpiry::idleUploadsExpire()
{
    QFETCH(qint64, lifetime);
    QFETCH(qint64, idle);
    QFETCH(bool, busy);
    QFETCH(bool, expires);
    m_context->lifetimes().setIdleUpload(lifetime);
    const QString watched = openUpload(QStringLiteral("0123456789abcdef0123456789abcdef"), start);
    // Another upload whose client is still sending is never the one that goes.
    const QString active = openUpload(QStringLiteral("fedcba9876543210fedcba9876543210"),
                                      start + idle);
    m_clock->set(start + idle);

    const UploadLocks::Lock lock = m_context->uploadLocks.of(watched);
    std::shared_lock working(*lock, std::defer_lock);
    if (busy)
        working.lock();
    OpenUploads::sweepIdle(*m_context);

    QCOMPARE(isOpen(watched), !expires);
    QCOMPARE(isOpen(active), lifetime != 0);
    QCOMPARE(partFiles(), int(isOpen(watched)) + int(isOpen(active)));
}

void TestUploadExpiry::expiresWithoutARequest()
{
    const QString upload = openUpload(QStringLiteral("00112233445566778899aabbccddeeff"), start);
    m_context->uploadExpiry.start();
    QVERIFY(isOpen(upload)); // a part just now

    m_clock->set(start + day);
    // The thread looks again when the lifetime changes, not ten minutes later.
    m_context->lifetimes().setIdleUpload(day);
    m_context->uploadExpiry.wake();
    QTRY_VERIFY_WITH_TIMEOUT(!isOpen(upload), 2000);
    QCOMPARE(partFiles(), 0);
}

QTEST_GUILESS_MAIN(TestUploadExpiry)
#include "test_upload_expiry.moc"
