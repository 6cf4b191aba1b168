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
Q_DECLARE_METATYPE(OrvelanNimbal::ReplacePrecondition)

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
    QTest::addColumn<ReplacePrecondition>("expected");
    const auto add = [](const char *name, const char *token, ReplacePrecondition expected) {
        QTest::newRow(name) << QString::fromLatin1(token) << expected;
    };
    const auto hash = [](const char *hash) {
        return ReplacePrecondition{QString::fromLatin1(hash), std::nullopt};
    };
    const auto date = [](qint64 date) { return ReplacePrecondition{std::nullopt, date}; };
    const ReplacePrecondition none;

    add("upload time, size ignored", "u:1700000000:12", date(1700000000));
    add("upload time alone", "u:42", date(42));
    add("plus sign", "u:+5:0", date(5));
    add("smallest 64-bit", "u:-9223372036854775808", date(std::numeric_limits<qint64>::min()));
    add("beyond 64 bits", "u:9223372036854775808", none);
    add("trailing letter", "u:12a", none);
    add("sign alone", "u:+", none);
    add("space before the digits", "u: 5", none);
    add("hash", "h:ab12", hash("ab12"));
    add("hash, third piece ignored", "h:ab:cd", hash("ab"));
    add("empty pieces skipped", "::h::ab12", hash("ab12"));
    add("hash prefix alone", "h:", none);
    add("modification form", "m:12:1700000000", none);
    add("prefixes are case-sensitive", "H:ab12", none);
}

void TestContentVersion::precondition()
{
    QFETCH(QString, token);
    QFETCH(ReplacePrecondition, expected);
    QVERIFY(ContentVersion::precondition(token) == expected);
}

QTEST_GUILESS_MAIN(TestContentVersion)
#include "test_content_version.moc"
