// SPDX-License-Identifier: GPL-3.0-or-later
// Content fetched from the real service into files, as the extension fetches it: many at once,
// each written beside its destination and renamed into place only once whole and checked; and a
// download that fails or is cancelled leaves the destination as it was and nothing beside it.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "ServiceTest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;

namespace {

// Printable, as the service's test control takes a file's content as text; no two files alike.
QByteArray contentOf(qsizetype size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('0' + (seed + i * 13 + i / 4099) % 75);
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(absent)");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entries(const QTemporaryDir &folder)
{
    return QDir(folder.path())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestServiceDownloads : public ServiceTest {
    Q_OBJECT

private slots:
    void manyAtOnce();
    void refusedContentLeavesNothing_data();
    void refusedContentLeavesNothing();
};

void TestServiceDownloads::manyAtOnce()
{
    const DriveAccount account = signedInAccount(u"downloads"_s);
    QTemporaryDir folder;
    std::vector<DriveFile> files;
    std::vector<QByteArray> contents;
    // Empty, small, and large enough to arrive in many pieces; more files than the transport
    // runs at once towards one server.
    const QList<qsizetype> sizes{0,     1,           4096, 65537, 5 * 1024 * 1024 + 3, 100, 2000, 3,
                                 70000, 1024 * 1024, 17,   40000};
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        contents.push_back(contentOf(sizes[i], char(i)));
        files.push_back(service().putFile(account.email, u"f%1.bin"_s.arg(i), contents.back()));
    }
    // A file already at a destination is replaced whole.
    writeFile(folder.filePath(u"f4.bin"_s), "old content");

    QList<qint64> lastProgress(sizes.size(), -1);
    auto all = [&]() -> QCoro::Task<std::vector<DriveFile>> {
        std::vector<QCoro::Task<DriveFile>> running;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto progress = [&lastProgress, i](qint64 bytes) {
                QVERIFY(bytes > lastProgress[qsizetype(i)]);
                lastProgress[qsizetype(i)] = bytes;
            };
            running.push_back(
                account.drive.download(files[i], folder.filePath(u"f%1.bin"_s.arg(i)), progress));
        }
        std::vector<DriveFile> done;
        for (auto &task : running)
            done.push_back(co_await task);
        co_return done;
    };
    const std::vector<DriveFile> downloaded = runAsync(all(), std::chrono::seconds(30));

    for (qsizetype i = 0; i < sizes.size(); ++i) {
        QCOMPARE(readFile(folder.filePath(u"f%1.bin"_s.arg(i))), contents[std::size_t(i)]);
        QCOMPARE(downloaded[std::size_t(i)].size, sizes[i]);
        QCOMPARE(lastProgress[i], sizes[i] == 0 ? -1 : sizes[i]);
        const QFileInfo info(folder.filePath(u"f%1.bin"_s.arg(i)));
        QVERIFY(info.permissions().testFlag(QFileDevice::ReadGroup)); // an ordinary file
    }
    QCOMPARE(entries(folder).size(), sizes.size()); // nothing else beside them
}

void TestServiceDownloads::refusedContentLeavesNothing_data()
{
    QTest::addColumn<QString>("twist");
    QTest::addColumn<QString>("expected"); // the failure's debug name and text
    QTest::newRow("content other than announced")
        << u"hash"_s << u"transport: contenu reçu différent de celui du Nimbal (SHA-256)"_s;
    QTest::newRow("shorter than announced")
        << u"size"_s << u"transport: téléchargement incomplet : 300000 octets reçus sur 300001"_s;
    QTest::newRow("altered address") << u"address"_s << u"http(403)"_s;
    QTest::newRow("cancelled half-way") << u"cancel"_s << u"cancelled"_s;
}

void TestServiceDownloads::refusedContentLeavesNothing()
{
    QFETCH(QString, twist);
    QFETCH(QString, expected);
    const DriveAccount account = signedInAccount(u"refused"_s);
    const DriveFile file = service().putFile(account.email, u"doc.bin"_s, contentOf(300000, 'a'));
    DriveDownload grant = runAsync(account.drive.contentURL(file));
    if (twist == u"hash")
        grant.contentHash = QString(64, u'0');
    else if (twist == u"size")
        grant.fileSize = 300001;
    else if (twist == u"address")
        grant.url.setQuery(grant.url.query() + u"0"_s);
    QTemporaryDir folder;
    const QString destination = folder.filePath(u"doc.bin"_s);
    writeFile(destination, "the user's own");

    CancellationSource cancel;
    const auto progress = [&](qint64) {
        if (twist == u"cancel")
            cancel.cancel();
    };
    QString failure;
    try {
        runAsync(account.drive.downloadContent(grant, destination, progress, cancel.token()));
    } catch (const DriveError &error) {
        failure = error.kind() == DriveError::Kind::transport
                      ? debugName(error) + u": "_s + error.text()
                      : debugName(error);
    } catch (const OperationCancelled &) {
        failure = u"cancelled"_s;
    }
    QCOMPARE(failure, expected);
    QCOMPARE(readFile(destination), "the user's own"_ba);
    QCOMPARE(entries(folder), QStringList{u"doc.bin"_s});
}

QTEST_GUILESS_MAIN(TestServiceDownloads)
#include "test_service_downloads.moc"
