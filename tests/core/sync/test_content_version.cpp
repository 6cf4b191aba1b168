// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/ContentVersion.h"

#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace OrvelanNimbal;

using OptionalHash = std::optional<QString>;
using OptionalDate = std::optional<qint64>;
Q_DECLARE_METATYPE(OptionalHash)
Q_DECLARE_METATYPE(OptionalDate)

class TestContentVersion : public QObject {
    Q_OBJECT

private slots:
    void token_data();
    void token();
    void precondition_data();
    void precondition();
};

void TestContentVersion::token_data()
{
    QTest::addColumn<OptionalDate>("uploadTimestamp");
    QTest::addColumn<OptionalHash>("contentHash");
    QTest::addColumn<qint64>("modifiedMSecs");
    QTest::addColumn<QString>("expected");

    const OptionalHash hash(QStringLiteral("ab12"));
    QTest::newRow("upload time") << OptionalDate(1700000000) << OptionalHash() << qint64(0)
                                 << QStringLiteral("u:1700000000:12");
    QTest::newRow("upload time wins over the hash")
        << OptionalDate(1700000000) << hash << qint64(0) << QStringLiteral("u:1700000000:12");
    QTest::newRow("hash only") << OptionalDate() << hash << qint64(0) << QStringLiteral("h:ab12");
    QTest::newRow("neither, fraction dropped")
        << OptionalDate() << OptionalHash() << qint64(1700000000900)
        << QStringLiteral("m:12:1700000000");
    QTest::newRow("neither, before 1970: toward zero")
        << OptionalDate() << OptionalHash() << qint64(-1500) << QStringLiteral("m:12:-1");
}

void TestContentVersion::token()
{
    QFETCH(OptionalDate, uploadTimestamp);
    QFETCH(OptionalHash, contentHash);
    QFETCH(qint64, modifiedMSecs);
    QFETCH(QString, expected);

    DriveFile file;
    file.id = 3;
    file.size = 12;
    file.uploadTimestamp = uploadTimestamp;
    file.contentHash = contentHash;
    file.modifiedAt = QDateTime::fromMSecsSinceEpoch(modifiedMSecs, QTimeZone::utc());
    QCOMPARE(ContentVersion::token(file), expected);
}

void TestContentVersion::precondition_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<OptionalHash>("ifContentHash");
    QTest::addColumn<OptionalDate>("ifDateUpload");

    const OptionalDate noDate;
    const OptionalHash noHash;
    QTest::newRow("upload time, size ignored")
        << QStringLiteral("u:1700000000:12") << noHash << OptionalDate(1700000000);
    QTest::newRow("upload time alone") << QStringLiteral("u:42") << noHash << OptionalDate(42);
    QTest::newRow("plus sign") << QStringLiteral("u:+5:0") << noHash << OptionalDate(5);
    QTest::newRow("smallest 64-bit") << QStringLiteral("u:-9223372036854775808") << noHash
                                     << OptionalDate(std::numeric_limits<qint64>::min());
    QTest::newRow("beyond 64 bits") << QStringLiteral("u:9223372036854775808") << noHash << noDate;
    QTest::newRow("trailing letter") << QStringLiteral("u:12a") << noHash << noDate;
    QTest::newRow("sign alone") << QStringLiteral("u:+") << noHash << noDate;
    QTest::newRow("space before the digits") << QStringLiteral("u: 5") << noHash << noDate;
    QTest::newRow("hash") << QStringLiteral("h:ab12") << OptionalHash(QStringLiteral("ab12"))
                          << noDate;
    QTest::newRow("hash, third piece ignored")
        << QStringLiteral("h:ab:cd") << OptionalHash(QStringLiteral("ab")) << noDate;
    QTest::newRow("empty pieces skipped")
        << QStringLiteral("::h::ab12") << OptionalHash(QStringLiteral("ab12")) << noDate;
    QTest::newRow("hash prefix alone") << QStringLiteral("h:") << noHash << noDate;
    QTest::newRow("modification form") << QStringLiteral("m:12:1700000000") << noHash << noDate;
    QTest::newRow("prefixes are case-sensitive") << QStringLiteral("H:ab12") << noHash << noDate;
}

void TestContentVersion::precondition()
{
    QFETCH(QString, token);
    QFETCH(OptionalHash, ifContentHash);
    QFETCH(OptionalDate, ifDateUpload);

    const ReplacePrecondition expected{ifContentHash, ifDateUpload};
    QVERIFY(ContentVersion::precondition(token) == expected);
}

QTEST_GUILESS_MAIN(TestContentVersion)
#include "test_content_version.moc"
