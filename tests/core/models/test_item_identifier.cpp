// SPDX-License-Identifier: GPL-3.0-or-later
// Identifiers as the file-provider layer names items: their texts, and keys in hashed sets.
#include "models/ItemIdentifier.h"

#include <QSet>
#include <QTest>

#include <limits>

using namespace OrvelanNimbal;

namespace OrvelanNimbal {
inline char *toString(const ItemIdentifier &identifier)
{
    return QTest::toString(identifier.rawValue());
}
} // namespace OrvelanNimbal

class TestItemIdentifier : public QObject {
    Q_OBJECT

private slots:
    void parsing_data();
    void parsing();
    void texts();
    void filesAndFoldersStayApart();
};

void TestItemIdentifier::parsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<ItemIdentifier>>("expected");
    const std::optional<ItemIdentifier> none;
    const auto file = [](qint64 id) { return std::optional(ItemIdentifier::file(id)); };
    const auto folder = [](qint64 id) { return std::optional(ItemIdentifier::folder(id)); };

    QTest::newRow("file") << QStringLiteral("f:42") << file(42);
    QTest::newRow("plus sign") << QStringLiteral("d:+5") << folder(5);
    QTest::newRow("root") << ItemIdentifier::rootRawValue << std::optional(ItemIdentifier::root());
    QTest::newRow("largest id") << QStringLiteral("f:9223372036854775807")
                                << file(std::numeric_limits<qint64>::max());
    QTest::newRow("smallest id") << QStringLiteral("d:-9223372036854775808")
                                 << folder(std::numeric_limits<qint64>::min());
    QTest::newRow("one past the largest") << QStringLiteral("f:9223372036854775808") << none;
    QTest::newRow("one past the smallest") << QStringLiteral("f:-9223372036854775809") << none;
    QTest::newRow("sign alone") << QStringLiteral("f:-") << none;
    QTest::newRow("other prefix") << QStringLiteral("x:5") << none;
    QTest::newRow("trailing letters") << QStringLiteral("f:12a") << none;
    QTest::newRow("space before") << QStringLiteral("f: 5") << none;
    QTest::newRow("non-ASCII digit") << QStringLiteral("f:\u0663") << none;
    QTest::newRow("empty") << QString() << none;
    QTest::newRow("root with more") << ItemIdentifier::rootRawValue + u'x' << none;
}

void TestItemIdentifier::parsing()
{
    QFETCH(QString, text);
    QFETCH(std::optional<ItemIdentifier>, expected);
    QCOMPARE(ItemIdentifier::fromRawValue(text), expected);
    if (expected) // and back through its own text
        QCOMPARE(ItemIdentifier::fromRawValue(expected->rawValue()), expected);
}

void TestItemIdentifier::texts()
{
    QCOMPARE(ItemIdentifier::file(42).rawValue(), QStringLiteral("f:42"));
    QCOMPARE(ItemIdentifier::folder(-3).rawValue(), QStringLiteral("d:-3"));
    QCOMPARE(ItemIdentifier::root().rawValue(),
             QStringLiteral("NSFileProviderRootContainerItemIdentifier"));
    // A listed item's parent: the service writes 0 or less for the top of the drive.
    QCOMPARE(ItemIdentifier::folder(std::optional<qint64>()), ItemIdentifier::root());
    QCOMPARE(ItemIdentifier::folder(std::optional<qint64>(0)), ItemIdentifier::root());
    QCOMPARE(ItemIdentifier::folder(std::optional<qint64>(-1)), ItemIdentifier::root());
    QCOMPARE(ItemIdentifier::folder(std::optional<qint64>(1)), ItemIdentifier::folder(1));
}

void TestItemIdentifier::filesAndFoldersStayApart()
{
    QVERIFY(ItemIdentifier::file(5) != ItemIdentifier::folder(5));
    QVERIFY(qHash(ItemIdentifier::file(5)) != qHash(ItemIdentifier::folder(5)));
    QVERIFY(qHash(ItemIdentifier::file(0)) != qHash(ItemIdentifier::root()));
    QCOMPARE(qHash(ItemIdentifier::folder(9), 17), qHash(ItemIdentifier::folder(9), 17));

    const QSet<ItemIdentifier> items{ItemIdentifier::file(5), ItemIdentifier::folder(5),
                                     ItemIdentifier::root(), ItemIdentifier::file(5)};
    QCOMPARE(items.size(), 3);
    QVERIFY(items.contains(ItemIdentifier::folder(5)));
    QVERIFY(!items.contains(ItemIdentifier::folder(0)));
}

QTEST_GUILESS_MAIN(TestItemIdentifier)
#include "test_item_identifier.moc"
