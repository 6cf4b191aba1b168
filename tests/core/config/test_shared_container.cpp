// SPDX-License-Identifier: GPL-3.0-or-later
// The per-account files of the container shared with the extension.
#include "config/OrvelanNimbal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace Qt::StringLiterals;

class TestSharedContainer : public QObject {
    Q_OBJECT

private slots:
    void init();
    void accountKeys_data();
    void accountKeys();
    void accountFiles();
    void withoutAContainerNothingHappens();

private:
    static void touch(const QString &path) { QVERIFY(QFile(path).open(QIODevice::WriteOnly)); }

    std::unique_ptr<QTemporaryDir> m_dataHome;
};

void TestSharedContainer::init()
{
    m_dataHome = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dataHome->path().toUtf8());
}

void TestSharedContainer::accountKeys_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("key");
    QTest::newRow("separators") << u"A/B:C\\D"_s << u"a_b_c_d"_s;
    QTest::newRow("lowered, spaces and accents stay")
        << u"Élise Dupré@Orvelan.net"_s << u"élise dupré@orvelan.net"_s;
    // One character whose first code point is "/": not a separator.
    QTest::newRow("combining mark after a slash") << u"a/\u0301b"_s << u"a/\u0301b"_s;
}

void TestSharedContainer::accountKeys()
{
    QFETCH(QString, account);
    QFETCH(QString, key);
    QCOMPARE(accountFileKey(account), key);
}

void TestSharedContainer::accountFiles()
{
    const QString path = m_dataHome->filePath(u"net.orvelan.nimbal"_s);
    QCOMPARE(appGroupContainerURL(), std::optional(QUrl::fromLocalFile(path)));
    QVERIFY(QDir(path).exists()); // created on demand
    QCOMPARE(itemStoreURL(u"A/B"_s),
             std::optional(QUrl::fromLocalFile(path + u"/item-store-a_b.json"_s)));
    QCOMPARE(summaryURL(u"A/B"_s),
             std::optional(QUrl::fromLocalFile(path + u"/summary-a_b.json"_s)));

    const QDir container(path);
    for (const char *name : {"item-store-alice@x.json", "summary-alice@x.json", "item-store.json",
                             "item-store-bob@x.json", "summary-bob@x.json"})
        touch(container.filePath(QString::fromLatin1(name)));
    removeLocalState(u"Alice@X"_s); // with the legacy store shared by every account
    QCOMPARE(container.entryList(QDir::Files),
             (QStringList{u"item-store-bob@x.json"_s, u"summary-bob@x.json"_s}));
    removeLocalState(u"nobody@x"_s); // nothing to delete: silent
    QCOMPARE(container.entryList(QDir::Files).size(), 2);
}

void TestSharedContainer::withoutAContainerNothingHappens()
{
    // A data home that cannot exist: below a regular file.
    const QString file = m_dataHome->filePath(u"plain-file"_s);
    touch(file);
    qputenv("XDG_DATA_HOME", (file + u"/data"_s).toUtf8());
    QCOMPARE(appGroupContainerURL(), std::nullopt);
    QCOMPARE(itemStoreURL(u"a"_s), std::nullopt);
    QCOMPARE(summaryURL(u"a"_s), std::nullopt);
    removeLocalState(u"a"_s);
}

QTEST_GUILESS_MAIN(TestSharedContainer)
#include "test_shared_container.moc"
