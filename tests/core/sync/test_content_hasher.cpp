// SPDX-License-Identifier: GPL-3.0-or-later
#include "AsyncTest.h"
#include "async/Cancellation.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using Testing::runAsync;

namespace {

// The bytes `yes abcdefghij | head -c <length>` prints: an 11-byte period, so no two 4 MiB
// blocks of a file are alike and a block hashed twice, skipped or reordered changes the digest.
QByteArray yesPattern(qsizetype length)
{
    return QByteArray("abcdefghij\n").repeated(length / 11 + 1).first(length);
}

void addDigest(const char *name, qsizetype length, const char *sha256)
{
    QTest::newRow(name) << yesPattern(length) << QString::fromLatin1(sha256);
}

} // namespace

class TestContentHasher : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void digest_data();
    void digest();
    void unreadable_data();
    void unreadable();
    void cancelledBeforeTheFirstBlock();

private:
    QUrl write(const QByteArray &bytes);

    QTemporaryDir m_dir;
};

QUrl TestContentHasher::write(const QByteArray &bytes)
{
    QFile file(m_dir.filePath(QStringLiteral("content")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return QUrl::fromLocalFile(file.fileName());
}

void TestContentHasher::digest_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    // yes abcdefghij | head -c <length> | sha256sum; the blocks are of 4 MiB.
    addDigest("empty file", 0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    addDigest("abc", 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    addDigest("one block", 4194304,
              "f5bc512610b1086a0b0ae68ad555e95126dbddfebf2c4b29ea9eee9f039282ae");
    addDigest("one block and one byte", 4194305,
              "deefd6594999adaf9f4475e09850fdade3f80358fd37edf6b75e249153bd224a");
    addDigest("three blocks", 12582912,
              "8d57540c9a3a9d7f4ef35aa284ef02efc507bc481b159cce9c4717cb1eae3b6b");
}

void TestContentHasher::digest()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QUrl file = write(content);
    QCOMPARE(ContentHasher::sha256Blocking(file), expected);
    QCOMPARE(runAsync(ContentHasher::sha256(file)), expected);
}

void TestContentHasher::unreadable_data()
{
    QTest::addColumn<QUrl>("file");
    QTest::newRow("missing file") << QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("absent")));
    QTest::newRow("a directory") << QUrl::fromLocalFile(m_dir.path());
    QTest::newRow("not a local file") << QUrl(QStringLiteral("https://example.org/a.txt"));
}

void TestContentHasher::unreadable()
{
    QFETCH(QUrl, file);
    QVERIFY_THROWS_EXCEPTION(FileError, ContentHasher::sha256Blocking(file));
    // The worker's error reaches the awaiting coroutine as itself, not as a pool wrapper.
    QVERIFY_THROWS_EXCEPTION(FileError, runAsync(ContentHasher::sha256(file)));
}

void TestContentHasher::cancelledBeforeTheFirstBlock()
{
    const QUrl file = write(yesPattern(ContentHasher::blockSize + 1));
    CancellationSource source;
    source.cancel();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                             ContentHasher::sha256Blocking(file, source.token()));
    QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                             runAsync(ContentHasher::sha256(file, source.token())));
}

QTEST_GUILESS_MAIN(TestContentHasher)
#include "test_content_hasher.moc"
