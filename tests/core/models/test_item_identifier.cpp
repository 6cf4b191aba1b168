// SPDX-License-Identifier: GPL-3.0-or-later
// Identifiers as the file-provider layer names items: their texts, and keys in hashed sets.
#include "models/ItemIdentifier.h"

#include <QSet>
#include <QTest>

#include <limits>

using namespace OrvelanNimbal;

Q_DECLARE_METATYPE(std::optional<OrvelanNimbal::ItemIdentifier>)
Q_DECLARE_METATYPE(OrvelanNimbal::ItemIdentifier)

namespace OrvelanNimbal {
inline char *toString(const ItemIdentifier &identifier)
{
    return QTest::toString(identifier.rawValue());
}
} // namespace OrvelanNimbal

namespace {

constexpr qint64 lowest = std::numeric_limits<qint64>::min();
constexpr qint64 highest = std::numeric_limits<qint64>::max();

} // namespace

class TestItemIdentifier : public QObject {
    Q_OBJECT

private slots:
    void parsing_data();
    void parsing();
    void texts_data();
    void texts();
    void containerOfAParent_data();
    void containerOfAParent();
    void filesAndFoldersStayApart();
};

void TestItemIdentifier::parsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<ItemIdentifier>>("expected");
    const std::optional<ItemIdentifier> none;

    QTest::newRow("file") << QStringLiteral("f:42") << std::optional(ItemIdentifier::file(42));
    QTest::newRow("folder") << QStringLiteral("d:7") << std::optional(ItemIdentifier::folder(7));
    QTest::newRow("negative") << QStringLiteral("f:-3") << std::optional(ItemIdentifier::file(-3));
    QTest::newRow("plus sign") << QStringLiteral("d:+5")
                               << std::optional(ItemIdentifier::folder(5));
    QTest::newRow("leading zeros")
        << QStringLiteral("f:007") << std::optional(ItemIdentifier::file(7));
    QTest::newRow("root") << ItemIdentifier::rootRawValue << std::optional(ItemIdentifier::root());
    QTest::newRow("largest id") << QStringLiteral("f:9223372036854775807")
                                << std::optional(ItemIdentifier::file(highest));
    QTest::newRow("smallest id") << QStringLiteral("d:-9223372036854775808")
                                 << std::optional(ItemIdentifier::folder(lowest));
    QTest::newRow("one past the largest") << QStringLiteral("f:9223372036854775808") << none;
    QTest::newRow("one past the smallest") << QStringLiteral("f:-9223372036854775809") << none;
    QTest::newRow("file prefix alone") << QStringLiteral("f:") << none;
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
}

void TestItemIdentifier::texts_data()
{
    QTest::addColumn<ItemIdentifier>("identifier");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint64>>("serverFolderID");
    QTest::addColumn<bool>("isFolderOrRoot");

    QTest::newRow("file") << ItemIdentifier::file(42) << QStringLiteral("f:42")
                          << std::optional<qint64>() << false;
    QTest::newRow("negative folder") << ItemIdentifier::folder(-3) << QStringLiteral("d:-3")
                                     << std::optional<qint64>(-3) << true;
    QTest::newRow("largest folder")
        << ItemIdentifier::folder(highest) << QStringLiteral("d:9223372036854775807")
        << std::optional<qint64>(highest) << true;
    QTest::newRow("root") << ItemIdentifier::root()
                          << QStringLiteral("NSFileProviderRootContainerItemIdentifier")
                          << std::optional<qint64>() << true;
}

void TestItemIdentifier::texts()
{
    QFETCH(ItemIdentifier, identifier);
    QFETCH(QString, text);
    QFETCH(std::optional<qint64>, serverFolderID);
    QFETCH(bool, isFolderOrRoot);
    QCOMPARE(identifier.rawValue(), text);
    QCOMPARE(identifier.description(), text);
    QCOMPARE(ItemIdentifier::fromRawValue(text), std::optional(identifier));
    QCOMPARE(identifier.serverFolderID(), serverFolderID);
    QCOMPARE(identifier.isFolderOrRoot(), isFolderOrRoot);
}

void TestItemIdentifier::containerOfAParent_data()
{
    QTest::addColumn<std::optional<qint64>>("parentID");
    QTest::addColumn<ItemIdentifier>("container");
    QTest::newRow("absent") << std::optional<qint64>() << ItemIdentifier::root();
    QTest::newRow("zero") << std::optional<qint64>(0) << ItemIdentifier::root();
    QTest::newRow("negative") << std::optional<qint64>(-1) << ItemIdentifier::root();
    QTest::newRow("one") << std::optional<qint64>(1) << ItemIdentifier::folder(1);
    QTest::newRow("five") << std::optional<qint64>(5) << ItemIdentifier::folder(5);
}

void TestItemIdentifier::containerOfAParent()
{
    QFETCH(std::optional<qint64>, parentID);
    QFETCH(ItemIdentifier, container);
    QCOMPARE(ItemIdentifier::folder(parentID), container);
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
