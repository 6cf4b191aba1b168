// SPDX-License-Identifier: GPL-3.0-or-later
// Where the parts of a multipart upload go in its content, and the content's hash taken as
// they arrive: given only while every part came whole, once, in order; never a hash of bytes
// that are not the content's.
#include "storage/ContentDigest.h"
#include "uploads/UploadDigests.h"
#include "uploads/UploadLimits.h"

#include <QCryptographicHash>
#include <QTest>

using namespace OrvelanNimbal::Service;

namespace {

constexpr qint64 MiB = 1024 * 1024;
const QString upload = QStringLiteral("0123456789abcdef0123456789abcdef");

// Part n's bytes: the digit n, three times.
QByteArray bytesOf(int number)
{
    return QByteArray(3, char('0' + number));
}

// One attempt at a part: its number, and whether it arrived whole.
struct Attempt {
    int number = 0;
    bool whole = true;
};
using Attempts = QList<Attempt>;

} // namespace

Q_DECLARE_METATYPE(Attempt)

class TestUploadParts : public QObject {
    Q_OBJECT

private slots:
    void slotsCoverTheFile_data();
    void slotsCoverTheFile();
    void hashIsTakenOnlyFromPartsInOrder_data();
    void hashIsTakenOnlyFromPartsInOrder();
};

void TestUploadParts::slotsCoverTheFile_data()
{
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<qint64>("offset"); // -1: no such part
    QTest::addColumn<qint64>("length");
    QTest::newRow("16 MiB + 1, the first") << 16 * MiB + 1 << qint64(1) << qint64(0) << 8 * MiB;
    QTest::newRow("16 MiB + 1, the last byte") << 16 * MiB + 1 << qint64(3) << 16 * MiB
                                               << qint64(1);
    QTest::newRow("16 MiB + 1, beyond") << 16 * MiB + 1 << qint64(4) << qint64(-1) << qint64(0);
    QTest::newRow("exactly two parts, the last whole") << 16 * MiB << qint64(2) << 8 * MiB
                                                       << 8 * MiB;
    QTest::newRow("exactly two parts, no third") << 16 * MiB << qint64(3) << qint64(-1)
                                                 << qint64(0);
    QTest::newRow("empty, no part") << qint64(0) << qint64(1) << qint64(-1) << qint64(0);
    QTest::newRow("part 0") << 16 * MiB << qint64(0) << qint64(-1) << qint64(0);
    // Beyond 10000 parts of 8 MiB, parts grow so that there are never more than 10000.
    QTest::newRow("83886080001 bytes, the last of 10000")
        << qint64(83886080001) << qint64(10000) << qint64(9999) * 8388609
        << qint64(83886080001) - qint64(9999) * 8388609;
}

void TestUploadParts::slotsCoverTheFile()
{
    QFETCH(qint64, fileSize);
    QFETCH(qint64, number);
    QFETCH(qint64, offset);
    QFETCH(qint64, length);
    const auto slot = UploadLimits::suggestedSlot(fileSize, number);
    QCOMPARE(slot.has_value(), offset >= 0);
    if (slot) {
        QCOMPARE(slot->offset, offset);
        QCOMPARE(slot->length, length);
    }
}

void TestUploadParts::hashIsTakenOnlyFromPartsInOrder_data()
{
    QTest::addColumn<Attempts>("attempts");
    QTest::addColumn<int>("parts"); // the completion lists parts 1 to this
    QTest::addColumn<bool>("hashed");
    QTest::newRow("in order") << Attempts{{1}, {2}, {3}} << 3 << true;
    QTest::newRow("a part broken off, then sent whole")
        << Attempts{{1}, {2, false}, {2}, {3}} << 3 << true;
    QTest::newRow("the last first") << Attempts{{3}, {1}, {2}} << 3 << false;
    QTest::newRow("a part taken in, then sent again") << Attempts{{1}, {2}, {1}, {3}} << 3
                                                      << false;
    QTest::newRow("a part skipped") << Attempts{{1}, {3}} << 3 << false;
    QTest::newRow("a part missing at the end") << Attempts{{1}, {2}} << 3 << false;
    QTest::newRow("a part broken off at the end") << Attempts{{1}, {2}, {3, false}} << 3
                                                  << false;
    QTest::newRow("no part came (after a restart, or an empty file)") << Attempts{} << 0 << false;
}

void TestUploadParts::hashIsTakenOnlyFromPartsInOrder()
{
    QFETCH(Attempts, attempts);
    QFETCH(int, parts);
    QFETCH(bool, hashed);
    UploadDigests digests;
    for (const Attempt &attempt : std::as_const(attempts)) {
        std::optional<ContentDigest> digest = digests.resume(upload, attempt.number);
        if (!digest)
            continue;
        const QByteArray bytes = bytesOf(attempt.number);
        digest->add(bytes.constData(), std::size_t(attempt.whole ? bytes.size() : 1));
        if (attempt.whole)
            digests.advance(upload, attempt.number, std::move(*digest));
    }

    const std::optional<QString> hash = digests.finish(upload, parts);

    QCOMPARE(hash.has_value(), hashed);
    if (hash) {
        QByteArray content;
        for (int number = 1; number <= parts; ++number)
            content += bytesOf(number);
        QCOMPARE(*hash, QString::fromLatin1(
                            QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()));
    }
    // Once finished, nothing of it is left to finish again.
    QVERIFY(!digests.finish(upload, parts));
}

QTEST_GUILESS_MAIN(TestUploadParts)
#include "test_upload_parts.moc"
