// SPDX-License-Identifier: GPL-3.0-or-later
// An answer reads the same wherever its bytes sit in memory. The parser reads up to 64 bytes past
// the text it is given, so it may parse a body in place only when that many bytes of the body's
// own allocation follow it. A body cut out of a larger buffer has its free space in front, which
// must not pass for padding: here the body's memory ends at an unreadable page, so that any read
// past what it owns faults at once, with or without a sanitizer.
#include "errors/DriveError.h"
#include "models/DriveDTOs.h"

#include <QTest>

#include <sys/mman.h>
#include <unistd.h>

using namespace OrvelanNimbal;

namespace {

// A byte array holding `text` with `before` free bytes in front of it and `after` free bytes
// behind, whose allocation ends where readable memory ends. It is built over memory of ours and
// holds one reference more than its owners, so the allocator never sees it; the pages stay
// mapped for the rest of the test run.
QByteArray endingAtAnUnreadablePage(QByteArrayView text, qsizetype before, qsizetype after)
{
    const auto page = qsizetype(sysconf(_SC_PAGESIZE));
    const qsizetype needed = qsizetype(sizeof(QArrayData)) + 2 * 16 + before + text.size() + after;
    const qsizetype length = (needed / page + 2) * page;
    auto *region = static_cast<char *>(
        mmap(nullptr, size_t(length), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (region == MAP_FAILED)
        qFatal("no memory for the test's byte array");
    char *const guard = region + length - page;
    mprotect(guard, size_t(page), PROT_NONE);

    char *const end = guard - after;
    char *const data = end - text.size();
    // The allocation starts where the array's header wants its data to start, at or before
    // `before` bytes ahead of the text.
    const auto alignment = qsizetype(alignof(QTypedArrayData<char>::AlignmentDummy));
    char *start = data - before;
    start -= quintptr(start) % quintptr(alignment);
    auto *header = reinterpret_cast<QArrayData *>(start - sizeof(QArrayData));
    header = new (header) QArrayData{{2}, {}, guard - start};
    Q_ASSERT(QTypedArrayData<char>::dataStart(header, alignment) == start);
    std::memcpy(data, text.data(), size_t(text.size()));
    return QByteArray(
        QByteArray::DataPointer(static_cast<QTypedArrayData<char> *>(header), data, text.size()));
}

// What decoding a body gives, success or failure, as one comparable text.
QString outcome(const QByteArray &body)
{
    try {
        const FileDTO file = Json::decode<FileDTO>(body);
        return QStringLiteral("file %1 « %2 »").arg(file.id).arg(file.fileName);
    } catch (const DriveError &error) {
        return QStringLiteral("refused: ") + error.errorDescription();
    }
}

} // namespace

class TestJsonBodiesInMemory : public QObject {
    Q_OBJECT

private slots:
    void sameAnswerWhereverTheBodySits_data();
    void sameAnswerWhereverTheBodySits();
};

void TestJsonBodiesInMemory::sameAnswerWhereverTheBodySits_data()
{
    QTest::addColumn<QByteArray>("body");
    // Bodies that end where the parser looks furthest ahead: inside a number, a string, a literal.
    for (const char *body : {R"({"id":1.)", R"({"id":12,"file_name":"a"})", R"({"id":1e)",
                             R"({"id":-)", R"({"id":1,"file_name":"abc)", R"({"id":1,"x":tru)",
                             R"({"id":12345678,"file_name":"a"} )", "[", ""})
        QTest::newRow(body) << QByteArray(body);
}

void TestJsonBodiesInMemory::sameAnswerWhereverTheBodySits()
{
    QFETCH(QByteArray, body);
    const QString expected = outcome(QByteArray(body.constData(), body.size()));
    // Free space only in front (a body cut from the end of an answer), only behind, both, and
    // on either side of exactly the padding the parser needs.
    for (const auto &[before, after] : {std::pair<qsizetype, qsizetype>{4096, 0},
                                        {4096, 7},
                                        {64, 63},
                                        {0, 64},
                                        {100, 64},
                                        {0, 200}}) {
        QByteArray placed = endingAtAnUnreadablePage(body, before, after);
        QCOMPARE(placed, body);
        QCOMPARE(placed.data_ptr().freeSpaceAtEnd(), after);
        if (outcome(placed) != expected) {
            qWarning("%lld bytes free in front, %lld behind", static_cast<long long>(before),
                     static_cast<long long>(after));
            QCOMPARE(outcome(placed), expected);
        }
    }
}

QTEST_GUILESS_MAIN(TestJsonBodiesInMemory)
#include "test_json_bodies_in_memory.moc"
