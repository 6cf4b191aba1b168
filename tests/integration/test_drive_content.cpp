// SPDX-License-Identifier: GPL-3.0-or-later
// Content and thumbnails through pre-signed addresses of the real local service: the bytes
// and their announced length, addresses altered or expired, archived files refused before
// any request, and thumbnail keys that need escaping.
#include "AsyncTest.h"
#include "DriveControls.h"
#include "DriveErrorTesting.h"
#include "LocalService.h"
#include "ServiceClient.h"

#include <QCryptographicHash>
#include <QTest>
#include <QUrlQuery>

#include <functional>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// How a row spoils a download address before it is fetched.
using Spoil = std::function<QUrl(QUrl address, QString otherContentPath)>;

HttpRequest getRequest(const QUrl &url)
{
    HttpRequest request;
    request.url = url;
    request.timeout = 5;
    return request;
}

QString downloadPath(qint64 id)
{
    return QStringLiteral("/api/v1/drive/files/%1/download-url").arg(id);
}

} // namespace

Q_DECLARE_METATYPE(Spoil)

class TestDriveContent : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void downloadsThroughSignedAddress_data();
    void downloadsThroughSignedAddress();
    void refusesSpoiledAddresses_data();
    void refusesSpoiledAddresses();
    void archivedFilesFailBeforeAnyRequest_data();
    void archivedFilesFailBeforeAnyRequest();
    void serviceRefusesArchivedContentToo();
    void thumbnailKeysAreEscaped_data();
    void thumbnailKeysAreEscaped();

private:
    DriveFile putFile(const QString &email, const QString &name, const QByteArray &content,
                      const QString &storageClass = QStringLiteral("standard"))
    {
        return m_controls->putFile(email, {name, {}, content, storageClass, {}, {}});
    }

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
    std::unique_ptr<DriveControls> m_controls;
};

void TestDriveContent::initTestCase()
{
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
    m_controls = std::make_unique<DriveControls>(*m_service);
}

void TestDriveContent::cleanup()
{
    m_service->reset();
}

void TestDriveContent::downloadsThroughSignedAddress_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("a few words") << QByteArray("Bonjour, Nimbal !\n");
    // More than the service sends at once: the answer comes in pieces.
    QTest::newRow("300 KiB") << QByteArray(300 * 1024, 'z');
}

void TestDriveContent::downloadsThroughSignedAddress()
{
    QFETCH(QByteArray, content);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"download"_qs);
    const DriveFile file = putFile(account.email, u"contenu.bin"_qs, content);

    const DriveDownload grant = runAsync(account.drive.contentURL(file));
    QCOMPARE(grant.fileSize, std::optional<qint64>(content.size()));
    QCOMPARE(grant.contentHash,
             std::optional(QString::fromLatin1(
                 QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex())));
    QCOMPARE(grant.uploadTimestamp, file.uploadTimestamp);
    QCOMPARE(grant.expiresIn, 3600);

    // The address needs no token: it is fetched as the extension fetches it.
    const HttpResult fetched = runAsync(account.client->sendExternal(getRequest(grant.url)));
    QCOMPARE(fetched.body, content);
    const auto length = fetched.response.header("Content-Length");
    QVERIFY(length);
    QCOMPARE(length->toLongLong(), content.size());
    DriveDownload::checkReceived(fetched.body.size(), length->toLongLong());
    QCOMPARE(file.refreshed(grant, fetched.body.size()), file);
}

void TestDriveContent::refusesSpoiledAddresses_data()
{
    QTest::addColumn<Spoil>("spoil");
    QTest::addColumn<qint64>("lifetime");

    const auto withQuery = [](QUrl url, const QString &key, const QString &value) {
        QUrlQuery query(url);
        query.removeQueryItem(key);
        query.addQueryItem(key, value);
        url.setQuery(query);
        return url;
    };
    QTest::newRow("signature altered") << Spoil([=](QUrl url, QString) {
        const QString signature = QUrlQuery(url).queryItemValue(u"signature"_qs);
        return withQuery(url, u"signature"_qs,
                         (signature.startsWith(u'A') ? u"B"_qs : u"A"_qs) + signature.mid(1));
    }) << qint64(3600);
    QTest::newRow("deadline pushed") << Spoil([=](QUrl url, QString) {
        const qint64 deadline = QUrlQuery(url).queryItemValue(u"expires"_qs).toLongLong();
        return withQuery(url, u"expires"_qs, QString::number(deadline + 86400));
    }) << qint64(3600);
    QTest::newRow("pointed at another content") << Spoil([](QUrl url, QString other) {
        url.setPath(other);
        return url;
    }) << qint64(3600);
    QTest::newRow("no signature") << Spoil([](QUrl url, QString) {
        url.setQuery(QString());
        return url;
    }) << qint64(3600);
    QTest::newRow("expired") << Spoil([](QUrl url, QString) { return url; }) << qint64(0);
}

void TestDriveContent::refusesSpoiledAddresses()
{
    QFETCH(Spoil, spoil);
    QFETCH(qint64, lifetime);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"spoiled"_qs);
    const DriveFile mine = putFile(account.email, u"mien.txt"_qs, "le mien");
    const DriveFile other = putFile(account.email, u"autre.txt"_qs, "un autre");
    const QString otherPath = runAsync(account.drive.contentURL(other)).url.path();
    m_controls->setPresignedURLLifetime(lifetime);

    const DriveDownload grant = runAsync(account.drive.contentURL(mine));
    try {
        runAsync(account.client->sendExternal(getRequest(spoil(grant.url, otherPath))));
        QFAIL("the spoiled address was served");
    } catch (const DriveError &error) {
        QCOMPARE(error.kind(), DriveError::Kind::http);
        QCOMPARE(error.status(), 403);
    }
}

void TestDriveContent::archivedFilesFailBeforeAnyRequest_data()
{
    QTest::addColumn<QString>("storageClass");
    for (const char *storageClass : {"glacier", "archiving", "unarchiving", "restoring"})
        QTest::newRow(storageClass) << QString::fromLatin1(storageClass);
}

void TestDriveContent::archivedFilesFailBeforeAnyRequest()
{
    QFETCH(QString, storageClass);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"archived"_qs);
    const DriveFile file = m_controls->putFile(account.email, {u"vieux.jpg"_qs,
                                                               {},
                                                               "photo",
                                                               storageClass,
                                                               u"vieux_256x256.png"_qs,
                                                               {u"vieux_256x256.png"_qs}});
    QCOMPARE(file.storageClass, *storageClassFromRawValue(storageClass));

    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(account.drive.contentURL(file)), DriveError::archived());
    QCOMPARE(runAsync(account.drive.thumbnailURL(file)), std::nullopt);
    QCOMPARE(m_service->requestCount("GET", downloadPath(file.id)), 0);
    QCOMPARE(m_service->requestCount("GET", u"/api/v1/drive/thumbnails/presign"_qs), 0);
}

void TestDriveContent::serviceRefusesArchivedContentToo()
{
    // A listing read before the file went to cold storage still says "standard": the service
    // refuses it with the conflict the client reads as archived.
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"cold"_qs);
    DriveFile file = putFile(account.email, u"froid.txt"_qs, "froid", u"glacier"_qs);
    file.storageClass = StorageClass::standard;
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(account.drive.contentURL(file)), DriveError::archived());
    QCOMPARE(m_service->requestCount("GET", downloadPath(file.id)), 1);
}

void TestDriveContent::thumbnailKeysAreEscaped_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("space and ampersand") << u"miniatures/a b&c_256x256.png"_qs;
    QTest::newRow("query characters") << u"m/x+y=z?w#1_256x256.png"_qs;
    QTest::newRow("accents and percent") << u"été/100% réel_256x256.png"_qs;
}

void TestDriveContent::thumbnailKeysAreEscaped()
{
    QFETCH(QString, key);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"thumbs"_qs);
    const DriveFile file = m_controls->putFile(
        account.email, {u"photo.png"_qs, {}, "pixels", u"standard"_qs, key, {key}});
    QCOMPARE(file.preferredThumbnailKey(), std::optional(key));

    // The service finds the key only if it arrives whole: an unescaped "&", "+" or "#" would
    // cut or change it, and the answer would be 404.
    const std::optional<QUrl> address = runAsync(account.drive.thumbnailURL(file));
    QVERIFY(address);
    const HttpResult image = runAsync(account.client->sendExternal(getRequest(*address)));
    QVERIFY(image.body.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(image.response.header("Content-Type"), std::optional<QByteArray>("image/png"));

    // A key the account does not have is not found.
    DriveFile unknown = file;
    unknown.thumbnailPath = key + u"-absent"_qs;
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(account.drive.thumbnailURL(unknown)),
                              DriveError::notFound());
}

QTEST_GUILESS_MAIN(TestDriveContent)
#include "test_drive_content.moc"
