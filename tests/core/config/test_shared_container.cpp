// SPDX-License-Identifier: GPL-3.0-or-later
// The per-account files of the container shared with the extension, and the compiled-in
// service addresses.
#include "config/OrvelanNimbal.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class TestSharedContainer : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void accountKeys_data();
    void accountKeys();
    void fileLocations();
    void removeLocalStateDeletesTheAccountsFilesOnly();
    void withoutAContainerNothingHappens();
    void compiledInAddresses();

private:
    std::unique_ptr<QTemporaryDir> m_dataHome;
};

void TestSharedContainer::init()
{
    m_dataHome = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_dataHome->path().toUtf8());
}

void TestSharedContainer::cleanup()
{
    m_dataHome.reset();
}

void TestSharedContainer::accountKeys_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("key");
    QTest::newRow("separators") << QStringLiteral("A/B:C\\D") << QStringLiteral("a_b_c_d");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("address kept") << QStringLiteral("Alice.Martin@Orvelan.net")
                                  << QStringLiteral("alice.martin@orvelan.net");
    QTest::newRow("spaces and accents stay") << QStringLiteral("Élise Dupré@x")
                                             << QStringLiteral("élise dupré@x");
    QTest::newRow("combining mark after a separator")
        << QStringLiteral("a/\u0301b") << QStringLiteral("a/\u0301b"); // one character, not "/"
}

void TestSharedContainer::accountKeys()
{
    QFETCH(QString, account);
    QFETCH(QString, key);
    QCOMPARE(accountFileKey(account), key);
}

void TestSharedContainer::fileLocations()
{
    const QString container = m_dataHome->filePath(QStringLiteral("net.orvelan.nimbal"));
    QCOMPARE(appGroupContainerURL(), std::optional(QUrl::fromLocalFile(container)));
    QVERIFY(QDir(container).exists()); // created on demand
    QCOMPARE(itemStoreURL(QStringLiteral("A/B:C\\D")),
             std::optional(QUrl::fromLocalFile(container + QStringLiteral("/item-store-a_b_c_d.json"))));
    QCOMPARE(summaryURL(QStringLiteral("A/B:C\\D")),
             std::optional(QUrl::fromLocalFile(container + QStringLiteral("/summary-a_b_c_d.json"))));
    QCOMPARE(summaryURL(QString()),
             std::optional(QUrl::fromLocalFile(container + QStringLiteral("/summary-.json"))));
    // Two spellings of one address share their files.
    QCOMPARE(summaryURL(QStringLiteral("Alice@X")), summaryURL(QStringLiteral("alice@x")));
}

void TestSharedContainer::removeLocalStateDeletesTheAccountsFilesOnly()
{
    const QDir container(appGroupContainerURL()->toLocalFile());
    for (const char *name : {"item-store-alice@x.json", "summary-alice@x.json", "item-store.json",
                             "item-store-bob@x.json", "summary-bob@x.json"})
        touch(container.filePath(QString::fromLatin1(name)));

    removeLocalState(QStringLiteral("Alice@X"));
    QCOMPARE(container.entryList(QDir::Files),
             (QStringList{QStringLiteral("item-store-bob@x.json"),
                          QStringLiteral("summary-bob@x.json")}));
    removeLocalState(QStringLiteral("nobody@x")); // nothing to delete: silent
    QCOMPARE(container.entryList(QDir::Files).size(), 2);
}

void TestSharedContainer::withoutAContainerNothingHappens()
{
    // A data home that cannot exist: below a regular file.
    const QString file = m_dataHome->filePath(QStringLiteral("plain-file"));
    touch(file);
    qputenv("XDG_DATA_HOME", (file + QStringLiteral("/data")).toUtf8());
    QCOMPARE(appGroupContainerURL(), std::nullopt);
    QCOMPARE(itemStoreURL(QStringLiteral("a")), std::nullopt);
    QCOMPARE(summaryURL(QStringLiteral("a")), std::nullopt);
    removeLocalState(QStringLiteral("a"));
}

void TestSharedContainer::compiledInAddresses()
{
    QVERIFY(defaultAPIBaseURL().isValid());
    QVERIFY(defaultAPIBaseURL().path().endsWith(QStringLiteral("/api/v1")));
    QVERIFY(defaultEventsBaseURL().isValid());
    QVERIFY(defaultEventsBaseURL().path().isEmpty() || defaultEventsBaseURL().path() == u"/");
    QVERIFY(&defaultAPIBaseURL() == &defaultAPIBaseURL()); // built once
}

QTEST_GUILESS_MAIN(TestSharedContainer)
#include "test_shared_container.moc"
