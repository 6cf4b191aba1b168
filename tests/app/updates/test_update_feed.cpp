// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/Appcast.h"
#include "updates/UpdateError.h"

#include <QTest>
#include <QTimeZone>

using namespace OrvelanNimbal;

class TestUpdateFeed : public QObject {
    Q_OBJECT

private slots:
    void versionOrder_data();
    void versionOrder();
    void unreadableVersions_data();
    void unreadableVersions();
    void fullItem();
    void itemsKeptAndLeftOut_data();
    void itemsKeptAndLeftOut();
    void unreadableFeeds_data();
    void unreadableFeeds();
    void newestUpdate_data();
    void newestUpdate();
};

namespace {

const QUrl feedURL(QStringLiteral("https://nimbal.orvelan.net/updates/linux/appcast.xml"));

// A feed around `items`, with our namespace declared.
QByteArray feed(const QByteArray &items)
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:nimbal="https://nimbal.orvelan.net/xml/updates">
<channel><title>Orvelan Nimbal</title>
)" + items + "</channel></rss>";
}

// An item of version `version`; `extra` goes inside it, `enclosure` replaces the default one.
QByteArray item(const char *version, const QByteArray &extra = {},
                const QByteArray &enclosure =
                    R"(<enclosure url="https://dl.example/n.AppImage" length="1024" )"
                    R"(type="application/vnd.appimage" nimbal:signature="c2ln"/>)")
{
    return "<item><nimbal:version>" + QByteArray(version) + "</nimbal:version>" + extra + enclosure
           + "</item>\n";
}

QStringList versionsOf(const QList<AppcastItem> &items)
{
    QStringList versions;
    for (const AppcastItem &item : items)
        versions.append(item.version.text());
    return versions;
}

UpdateVersion version(const char *text)
{
    return UpdateVersion::parse(QString::fromLatin1(text)).value();
}

} // namespace

void TestUpdateFeed::versionOrder_data()
{
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("higher");
    const auto add = [](const char *lower, const char *higher) {
        QTest::addRow("%s < %s", lower, higher)
            << QString::fromLatin1(lower) << QString::fromLatin1(higher);
    };
    add("1.9", "1.10");
    add("1.2", "1.2.1");
    add("0.9.99", "1.0");
    add("2", "10");
    add("1.0.9", "1.0.10");
    add("4294967295", "4294967296"); // beyond 32 bits
}

void TestUpdateFeed::versionOrder()
{
    QFETCH(QString, lower);
    QFETCH(QString, higher);
    const auto a = UpdateVersion::parse(lower).value();
    const auto b = UpdateVersion::parse(higher).value();
    QVERIFY(a < b);
    QVERIFY(b > a);
    QVERIFY(a != b);
    // Missing components count as zeros.
    QCOMPARE(UpdateVersion::parse(lower + QStringLiteral(".0")).value(), a);
}

void TestUpdateFeed::unreadableVersions_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : {"", "1.", ".1", "1..2", "1.2-beta", "v1.2", "1.-2", "+1", "1 .2",
                             "99999999999999999999999"})
        QTest::newRow(text) << QString::fromLatin1(text);
}

void TestUpdateFeed::unreadableVersions()
{
    QFETCH(QString, text);
    QVERIFY(!UpdateVersion::parse(text));
}

void TestUpdateFeed::fullItem()
{
    const QList<AppcastItem> items = parseAppcast(feed(R"(<item>
  <title>Orvelan Nimbal 1.5</title>
  <pubDate>Tue, 04 Jun 2024 09:30:00 +0200</pubDate>
  <description><![CDATA[Envoi plus rapide.
Moins de conflits & d'attente.]]></description>
  <nimbal:version> 1.5.0 </nimbal:version>
  <nimbal:displayVersion>1.5</nimbal:displayVersion>
  <nimbal:minimumSystemVersion>2.31</nimbal:minimumSystemVersion>
  <nimbal:releaseNotesLink>https://nimbal.orvelan.net/notes/1.5</nimbal:releaseNotesLink>
  <unknown>ignored</unknown>
  <enclosure url="../releases/OrvelanNimbal-1.5.0-x86_64.AppImage" length="48211968"
             type="application/vnd.appimage"
             nimbal:signature=" 9tz/ZGFBa+cG0Ru0yDnNQm8EvBvhc+iYzrTxSXJUgbqCAwdVp8kPOM6b1kAFiKyGr3LbF8TuTkQYHRxeWHwSDw== "/>
</item>)"),
                                                  feedURL);
    QCOMPARE(items.size(), 1);
    const AppcastItem &release = items.first();
    QCOMPARE(release.title, u"Orvelan Nimbal 1.5");
    QCOMPARE(release.version, version("1.5"));
    QCOMPARE(release.displayVersion, u"1.5");
    QCOMPARE(release.minimumSystemVersion, version("2.31"));
    QCOMPARE(release.releaseNotes, u"Envoi plus rapide.\nMoins de conflits & d'attente.");
    QCOMPARE(release.releaseNotesLink,
             QUrl(QStringLiteral("https://nimbal.orvelan.net/notes/1.5")));
    QCOMPARE(release.publishedAt->toUTC(),
             QDateTime(QDate(2024, 6, 4), QTime(7, 30), QTimeZone::utc()));
    // Relative to the feed's own address.
    QCOMPARE(
        release.enclosureURL,
        QUrl(QStringLiteral(
            "https://nimbal.orvelan.net/updates/releases/OrvelanNimbal-1.5.0-x86_64.AppImage")));
    QCOMPARE(release.enclosureLength, 48211968);
    QCOMPARE(release.enclosureType, u"application/vnd.appimage");
    QCOMPARE(
        release.signature,
        "9tz/ZGFBa+cG0Ru0yDnNQm8EvBvhc+iYzrTxSXJUgbqCAwdVp8kPOM6b1kAFiKyGr3LbF8TuTkQYHRxeWHwSDw==");
}

// One bad entry never hides the others; what a release may lack is filled in.
void TestUpdateFeed::itemsKeptAndLeftOut_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QStringList>("versions");
    const QByteArray good = item("1.4");
    const auto add = [&](const char *name, const QByteArray &odd, QStringList kept) {
        QTest::newRow(name) << (good + odd) << (QStringList{QStringLiteral("1.4")} + kept);
    };
    const auto enclosure = [](const char *attributes) {
        return "<enclosure " + QByteArray(attributes) + "/>";
    };
    add("several, in feed order", item("1.10") + item("1.9"),
        {QStringLiteral("1.10"), QStringLiteral("1.9")});
    add("no version", "<item>" + enclosure(R"(url="https://a.example/x" length="5")") + "</item>",
        {});
    add("unreadable version", item("2.0-rc1"), {});
    add("no enclosure", item("2.0", {}, {}), {});
    add("enclosure without address", item("2.0", {}, enclosure(R"(length="5")")), {});
    add("enclosure without length", item("2.0", {}, enclosure(R"(url="https://a.example/x")")), {});
    add("plain http elsewhere",
        item("2.0", {}, enclosure(R"(url="http://a.example/x" length="5")")), {});
    add("plain http on loopback",
        item("2.0", {}, enclosure(R"(url="http://127.0.0.1:8080/x" length="5")")),
        {QStringLiteral("2.0")});
    add("another scheme", item("2.0", {}, enclosure(R"(url="file:///tmp/x" length="5")")), {});
    add("unreadable minimum system",
        item("2.0", "<nimbal:minimumSystemVersion>bookworm</nimbal:minimumSystemVersion>"), {});
    add("no signature still listed (refused at install)",
        item("2.0", {}, enclosure(R"(url="https://a.example/x" length="5")")),
        {QStringLiteral("2.0")});
    add("no item at all", {}, {});
}

void TestUpdateFeed::itemsKeptAndLeftOut()
{
    QFETCH(QByteArray, items);
    QFETCH(QStringList, versions);
    const QList<AppcastItem> parsed = parseAppcast(feed(items), feedURL);
    QCOMPARE(versionsOf(parsed), versions);
    // The first is the plain one: defaults filled in.
    if (!parsed.isEmpty()) {
        QCOMPARE(parsed.first().displayVersion, u"1.4");
        QVERIFY(!parsed.first().minimumSystemVersion);
        QVERIFY(!parsed.first().publishedAt);
    }
}

void TestUpdateFeed::unreadableFeeds_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not XML") << QByteArray("{\"version\": \"1.5\"}");
    QTest::newRow("unclosed") << feed(item("1.5")).chopped(7);
    QTest::newRow("garbage after the channel") << feed(item("1.5")) + "<rss/>";
    QTest::newRow("an HTML error page")
        << QByteArray("<html><body><h1>502 Bad Gateway</h1></body></html>");
    QTest::newRow("undeclared prefix")
        << QByteArray("<rss><channel><item><nimbal:version>1</nimbal:version></item></channel>"
                      "</rss>");
}

void TestUpdateFeed::unreadableFeeds()
{
    QFETCH(QByteArray, document);
    try {
        parseAppcast(document, feedURL);
        QFAIL("an unreadable feed was read");
    } catch (const UpdateError &error) {
        QCOMPARE(error.kind(), UpdateError::Kind::feedUnreadable);
        QCOMPARE(error.errorDescription(),
                 u"Les informations de mise à jour reçues sont illisibles. Réessayez plus tard.");
    }
}

void TestUpdateFeed::newestUpdate_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("offered"); // empty: nothing
    const auto min = [](const char *version, const char *minimum) {
        return item(version, "<nimbal:minimumSystemVersion>" + QByteArray(minimum)
                                 + "</nimbal:minimumSystemVersion>");
    };
    const auto add = [](const char *name, const QByteArray &items, const char *system,
                        const char *offered) {
        QTest::newRow(name) << items << QString::fromLatin1(system) << QString::fromLatin1(offered);
    };
    // This build is 1.9.
    add("older", item("1.8"), "2.36", "");
    add("same", item("1.9.0"), "2.36", "");
    add("newer", item("1.9.1"), "2.36", "1.9.1");
    add("numeric, not textual order", item("1.10") + item("1.9.5"), "2.36", "1.10");
    add("newest whatever the feed order", item("1.9.5") + item("2.1") + item("2.0"), "2.36", "2.1");
    add("too new for this system", min("2.1", "2.38") + item("2.0"), "2.36", "2.0");
    add("exactly the minimum", min("2.1", "2.36"), "2.36", "2.1");
    add("nothing this system runs", min("2.1", "2.38"), "2.36", "");
    add("unknown system meets every minimum", min("2.1", "2.38"), "", "2.1");
    add("empty feed", {}, "2.36", "");
}

void TestUpdateFeed::newestUpdate()
{
    QFETCH(QByteArray, items);
    QFETCH(QString, system);
    QFETCH(QString, offered);
    const auto found = OrvelanNimbal::newestUpdate(parseAppcast(feed(items), feedURL),
                                                   version("1.9"), UpdateVersion::parse(system));
    QCOMPARE(found ? found->version.text() : QString(), offered);
}

QTEST_GUILESS_MAIN(TestUpdateFeed)
#include "test_update_feed.moc"
