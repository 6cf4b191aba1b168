// SPDX-License-Identifier: GPL-3.0-or-later
// The drive's store on a real SQLite file and a real content folder, without a server: each
// mutation announced once it is committed, a refused one leaving nothing behind, and the change
// feed's window.
#include "auth/Accounts.h"
#include "drive/ChangeFeed.h"
#include "drive/DriveChange.h"
#include "drive/DriveFailure.h"
#include "drive/DriveJson.h"
#include "drive/DriveMutations.h"
#include "drive/DriveStore.h"
#include "foundation/DataDirectory.h"
#include "ServiceSchema.h"
#include "storage/ContentStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace OrvelanNimbal::Service;

namespace {

constexpr std::int64_t now = 1'700'000'000;

// The drive every row starts from: Alpha/ holding a.txt, Beta/, and g.txt at the top.
struct Tree {
    std::int64_t alpha = 0;
    std::int64_t beta = 0;
    std::int64_t fileInAlpha = 0;
    std::int64_t topFile = 0;
};

using Mutation = std::function<void(DriveChange &, const Tree &)>;

} // namespace

Q_DECLARE_METATYPE(Mutation)

class TestDriveStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mutationsAnnounceOnceCommitted_data();
    void mutationsAnnounceOnceCommitted();
    void feedWindowSlidesAndCompacts();
    void feedAnswersCursors_data();
    void feedAnswersCursors();

private:
    std::int64_t newAccount(const QString &email);
    Tree plantTree(std::int64_t accountId);
    // Runs a mutation as a request would; the status of its refusal, 0 when it went through.
    int attempt(std::int64_t accountId, const std::function<void(DriveChange &)> &work);
    // Everything the account's drive holds, as the feed would send it from the start.
    QByteArray snapshot(std::int64_t accountId);
    ChangeFeed::Window window(std::int64_t accountId)
    {
        return m_context->database().read(
            [&](Connection &c) { return ChangeFeed::window(c, accountId); });
    }

    std::unique_ptr<QTemporaryDir> m_directory;
    std::unique_ptr<ServiceContext> m_context;
};

void TestDriveStore::init()
{
    m_directory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_directory->isValid());
    ServiceConfig config;
    config.dataDirectory = m_directory->path().toStdString();
    m_context = std::make_unique<ServiceContext>(config, openDataDirectory(config.dataDirectory, serviceSchema()),
                                                 std::make_shared<FixedServiceClock>(now));
}

void TestDriveStore::cleanup()
{
    m_context.reset();
    m_directory.reset();
}

std::int64_t TestDriveStore::newAccount(const QString &email)
{
    NewAccount account;
    account.email = email;
    account.password = QStringLiteral("pw");
    return m_context->database().transaction(
        [&](Connection &connection) { return Accounts::create(connection, account, now); });
}

Tree TestDriveStore::plantTree(std::int64_t accountId)
{
    Tree tree;
    const auto addFile = [&](DriveChange &change, std::int64_t folderId, const QString &name) {
        FileRecord file;
        file.folderId = folderId;
        file.name = name;
        file.size = 4;
        file.contentKey = ContentStore::newKey(accountId);
        file.contentHash = contentHash("data");
        m_context->contentStore.write(file.contentKey, "data");
        return DriveMutations::addFile(change, file).id;
    };
    changeDrive(*m_context, accountId, [&](DriveChange &change) {
        tree.alpha = DriveMutations::createFolder(change, QStringLiteral("Alpha"), driveRoot);
        tree.beta = DriveMutations::createFolder(change, QStringLiteral("Beta"), driveRoot);
        tree.fileInAlpha = addFile(change, tree.alpha, QStringLiteral("a.txt"));
        tree.topFile = addFile(change, driveRoot, QStringLiteral("g.txt"));
    });
    return tree;
}

int TestDriveStore::attempt(std::int64_t accountId, const std::function<void(DriveChange &)> &work)
{
    try {
        changeDrive(*m_context, accountId, work);
        return 0;
    } catch (const DriveFailure &failure) {
        return failure.status();
    }
}

QByteArray TestDriveStore::snapshot(std::int64_t accountId)
{
    return m_context->database().read([&](Connection &connection) {
        QJsonArray items;
        for (const FolderRecord &folder : DriveStore::foldersChangedAfter(connection, accountId, 0))
            items.append(DriveJson::folder(folder));
        for (const FileRecord &file : DriveStore::filesChangedAfter(connection, accountId, 0))
            items.append(DriveJson::file(file));
        return QJsonDocument(items).toJson(QJsonDocument::Compact);
    });
}

void TestDriveStore::mutationsAnnounceOnceCommitted_data()
{
    QTest::addColumn<Mutation>("mutation");
    QTest::addColumn<int>("refusal"); // 0: carried out

    namespace M = DriveMutations;
    using C = DriveChange;
    const auto row = [](const char *name, int refusal, Mutation mutation) {
        QTest::newRow(name) << mutation << refusal;
    };
    row("create a folder", 0,
        [](C &c, const Tree &) { M::createFolder(c, u"Gamma"_qs, driveRoot); });
    row("create a folder under a taken name", 409,
        [](C &c, const Tree &) { M::createFolder(c, u"Alpha"_qs, driveRoot); });
    row("rename a file to its own name changes nothing", 0,
        [](C &c, const Tree &t) { M::renameFile(c, t.topFile, u"g.txt"_qs); });
    row("move items where they are changes nothing", 0,
        [](C &c, const Tree &t) { M::move(c, {t.fileInAlpha}, {}, t.alpha); });
    row("move with one unknown item moves none", 404, [](C &c, const Tree &t) {
        M::move(c, {t.topFile, 987654}, {}, t.beta);
    });
    row("move two namesakes into one folder", 409, [](C &c, const Tree &t) {
        M::renameFile(c, t.topFile, u"a.txt"_qs);
        M::move(c, {t.topFile, t.fileInAlpha}, {}, t.beta);
    });
    row("move a folder under its own child", 400, [](C &c, const Tree &t) {
        M::move(c, {}, {t.alpha}, M::createFolder(c, u"Child"_qs, t.alpha));
    });
    row("trash a file and a folder", 0,
        [](C &c, const Tree &t) { M::trash(c, {t.topFile}, {t.beta}); });
}

void TestDriveStore::mutationsAnnounceOnceCommitted()
{
    QFETCH(Mutation, mutation);
    QFETCH(int, refusal);
    const std::int64_t accountId = newAccount(QStringLiteral("a@nimbal.test"));
    const Tree tree = plantTree(accountId);
    int announced = 0;
    const auto subscription =
        m_context->driveChanges.subscribe(accountId, [&announced] { ++announced; });
    const QByteArray before = snapshot(accountId);
    const std::int64_t cursorBefore = window(accountId).last;

    QCOMPARE(attempt(accountId, [&](DriveChange &change) { mutation(change, tree); }), refusal);

    const bool changed = snapshot(accountId) != before;
    QVERIFY2(refusal == 0 || !changed, "a refused mutation left a trace");
    // One announcement and one cursor per mutation that changed something, none otherwise.
    QCOMPARE(announced, changed ? 1 : 0);
    QCOMPARE(window(accountId).last - cursorBefore, changed ? 1 : 0);
}

void TestDriveStore::feedWindowSlidesAndCompacts()
{
    const std::int64_t accountId = newAccount(QStringLiteral("a@nimbal.test"));
    plantTree(accountId);
    plantTree(newAccount(QStringLiteral("b@nimbal.test"))); // a feed of its own
    m_context->database().transaction([&](Connection &c) {
        QCOMPARE(ChangeFeed::window(c, accountId).last, 1);
        QCOMPARE(ChangeFeed::advance(c, accountId), 2);
        QCOMPARE(ChangeFeed::compact(c, accountId), 2);
        QCOMPARE(ChangeFeed::window(c, accountId).oldest, 2);

        // Far along, the window keeps only the latest mutations.
        c.exec("UPDATE drive_accounts SET last_cursor = 20000 WHERE account_id = ?", accountId);
        QCOMPARE(ChangeFeed::advance(c, accountId), 20001);
        QCOMPARE(ChangeFeed::window(c, accountId).oldest, 20001 - ChangeFeed::retainedMutations);
    });
}

void TestDriveStore::feedAnswersCursors_data()
{
    QTest::addColumn<QString>("history");
    QTest::addColumn<qint64>("cursor");
    QTest::addColumn<bool>("answered");
    const auto row = [](const char *name, const char *history, qint64 cursor, bool answered) {
        QTest::newRow(name) << QString::fromLatin1(history) << cursor << answered;
    };
    // "planted": one mutation (cursor 1); "compacted": two, then everything forgotten;
    // "far along": 20001 mutations, of which the feed keeps the latest.
    row("planted, the start", "planted", 0, true);
    row("planted, the newest", "planted", 1, true);
    row("planted, negative", "planted", -1, false);
    row("planted, never handed out", "planted", 2, false);
    row("compacted, the start is the whole drive", "compacted", 0, true);
    row("compacted, a forgotten cursor", "compacted", 1, false);
    row("compacted, the newest", "compacted", 2, true);
    row("compacted, never handed out", "compacted", 3, false);
    row("far along, the start is the whole drive", "far along", 0, true);
    row("far along, just forgotten", "far along", 20001 - ChangeFeed::retainedMutations - 1,
        false);
    row("far along, the oldest kept", "far along", 20001 - ChangeFeed::retainedMutations, true);
    row("far along, the newest", "far along", 20001, true);
}

void TestDriveStore::feedAnswersCursors()
{
    QFETCH(QString, history);
    QFETCH(qint64, cursor);
    QFETCH(bool, answered);
    const std::int64_t accountId = newAccount(QStringLiteral("a@nimbal.test"));
    plantTree(accountId);
    m_context->database().transaction([&](Connection &c) {
        if (history == u"compacted") {
            ChangeFeed::advance(c, accountId);
            ChangeFeed::compact(c, accountId);
        } else if (history == u"far along") {
            c.exec("UPDATE drive_accounts SET last_cursor = 20000 WHERE account_id = ?",
                   accountId);
            ChangeFeed::advance(c, accountId);
        }
    });
    QCOMPARE(window(accountId).answers(cursor), answered);
}

QTEST_GUILESS_MAIN(TestDriveStore)
#include "test_drive_store.moc"
