// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/ContentVersion.h"

#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace OrvelanNimbal;

using OptionalHash = std::optional<QString>;
using OptionalDate = std::optional<qint64>;

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
    QTest::addColumn<DriveFile>("file");
    QTest::addColumn<QString>("expected");
    // File 3 of 12 bytes.
    const auto add = [](const char *name, OptionalDate uploaded, OptionalHash hash,
                        qint64 modifiedMSecs, const char *expected) {
        DriveFile file;
        file.id = 3;
        file.size = 12;
        file.uploadTimestamp = uploaded;
        file.contentHash = hash;
        file.modifiedAt = QDateTime::fromMSecsSinceEpoch(modifiedMSecs, QTimeZone::utc());
        QTest::newRow(name) << file << QString::fromLatin1(expected);
    };
    const OptionalHash hash(QStringLiteral("ab12"));
    add("upload time", 1700000000, {}, 0, "u:1700000000:12");
    add("upload time wins over the hash", 1700000000, hash, 0, "u:1700000000:12");
    add("hash only", {}, hash, 0, "h:ab12");
    add("neither, fraction dropped", {}, {}, 1700000000900, "m:12:1700000000");
    add("neither, before 1970: toward zero", {}, {}, -1500, "m:12:-1");
}

void TestContentVersion::token()
{
    QFETCH(DriveFile, file);
    QFETCH(QString, expected);
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
