// SPDX-License-Identifier: GPL-3.0-or-later
// The drive's store on a real SQLite file and a real content folder, without a server: what
// each mutation does to the tree, the feed, the quota and the change hub, and what a refused
// one leaves behind (nothing).
#include "auth/Accounts.h"
#include "drive/ChangeFeed.h"
#include "drive/DemoDrive.h"
#include "drive/DriveChange.h"
#include "drive/DriveFailure.h"
#include "drive/DriveJson.h"
#include "drive/DriveMutations.h"
#include "drive/DriveStore.h"
#include "drive/Thumbnails.h"
#include "foundation/DataDirectory.h"
#include "storage/ContentStore.h"
#include "storage/UrlSigner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace OrvelanNimbal::Service;

namespace {

constexpr std::int64_t now = 1'700'000'000;

// The drive every row of a table starts from:
//   Alpha/ (folder) holding a.txt; Beta/ (folder); g.txt at the top.
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
    void checksNames_data();
    void checksNames();
    void trashTakesTheWholeFolder();
    void anotherAccountsItemsAreNotFound_data();
    void anotherAccountsItemsAreNotFound();
    void feedWindowSlidesAndCompacts();
    void demoDriveIsCoherent();
    void signedAddresses_data();
    void signedAddresses();

private:
    std::int64_t newAccount(const QString &email);
    Tree plantTree(std::int64_t accountId);
    FileRecord storedFile(std::int64_t accountId, std::int64_t folderId, const QString &name,
                          const QByteArray &content);
    // Runs a mutation as a request would; the status of its refusal, 0 when it went through.
    int attempt(std::int64_t accountId, const std::function<void(DriveChange &)> &work);
    // Everything the account's drive holds, as the feed would send it from the start.
    QByteArray snapshot(std::int64_t accountId);
    std::int64_t storageUsed(std::int64_t accountId);
    template <class Work>
    auto read(Work work)
    {
        return m_context->database().read(work);
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
    m_context = std::make_unique<ServiceContext>(config, openDataDirectory(config.dataDirectory),
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

FileRecord TestDriveStore::storedFile(std::int64_t accountId, std::int64_t folderId,
                                      const QString &name, const QByteArray &content)
{
    FileRecord file;
    file.folderId = folderId;
    file.name = name;
    file.size = content.size();
    file.contentKey = ContentStore::newKey(accountId);
    file.contentHash = contentHash(content);
    m_context->component<ContentStore>().write(file.contentKey, content);
    return changeDrive(*m_context, accountId,
                       [&](DriveChange &change) { return DriveMutations::addFile(change, file); });
}

Tree TestDriveStore::plantTree(std::int64_t accountId)
{
    Tree tree;
    changeDrive(*m_context, accountId, [&](DriveChange &change) {
        tree.alpha = DriveMutations::createFolder(change, QStringLiteral("Alpha"), driveRoot);
        tree.beta = DriveMutations::createFolder(change, QStringLiteral("Beta"), driveRoot);
    });
    tree.fileInAlpha = storedFile(accountId, tree.alpha, QStringLiteral("a.txt"), "aaaa").id;
    tree.topFile = storedFile(accountId, driveRoot, QStringLiteral("g.txt"), "gg").id;
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
    return read([&](Connection &connection) {
        QJsonArray items;
        for (const FolderRecord &folder : DriveStore::foldersChangedAfter(connection, accountId, 0))
            items.append(DriveJson::folder(folder));
        for (const FileRecord &file : DriveStore::filesChangedAfter(connection, accountId, 0))
            items.append(DriveJson::file(file));
        return QJsonDocument(items).toJson(QJsonDocument::Compact);
    });
}

std::int64_t TestDriveStore::storageUsed(std::int64_t accountId)
{
    return read([&](Connection &connection) {
        return Accounts::findById(connection, accountId)->storageUsedBytes;
    });
}

void TestDriveStore::mutationsAnnounceOnceCommitted_data()
{
    QTest::addColumn<Mutation>("mutation");
    QTest::addColumn<int>("refusal"); // 0: carried out

    const auto row = [](const char *name, Mutation mutation, int refusal) {
        QTest::newRow(name) << mutation << refusal;
    };
    using Change = DriveChange;
    row(
        "create a folder",
        [](Change &c, const Tree &) {
            DriveMutations::createFolder(c, QStringLiteral("Gamma"), driveRoot);
        },
        0);
    row(
        "create a folder under a taken name",
        [](Change &c, const Tree &) {
            DriveMutations::createFolder(c, QStringLiteral("Alpha"), driveRoot);
        },
        409);
    row(
        "create a folder named like a file",
        [](Change &c, const Tree &) {
            DriveMutations::createFolder(c, QStringLiteral("g.txt"), driveRoot);
        },
        409);
    row(
        "rename a file",
        [](Change &c, const Tree &t) {
            DriveMutations::renameFile(c, t.topFile, QStringLiteral("h.txt"));
        },
        0);
    row(
        "rename a file to its own name changes nothing",
        [](Change &c, const Tree &t) {
            DriveMutations::renameFile(c, t.topFile, QStringLiteral("g.txt"));
        },
        0);
    row(
        "rename a file like a folder beside it",
        [](Change &c, const Tree &t) {
            DriveMutations::renameFile(c, t.topFile, QStringLiteral("Beta"));
        },
        409);
    row(
        "rename a folder",
        [](Change &c, const Tree &t) {
            DriveMutations::updateFolder(c, t.alpha, QStringLiteral("Alef"), std::nullopt);
        },
        0);
    row(
        "move a folder into another",
        [](Change &c, const Tree &t) {
            DriveMutations::updateFolder(c, t.alpha, std::nullopt, t.beta);
        },
        0);
    row(
        "move a folder into itself",
        [](Change &c, const Tree &t) {
            DriveMutations::updateFolder(c, t.alpha, std::nullopt, t.alpha);
        },
        400);
    row(
        "move a folder into a gone folder",
        [](Change &c, const Tree &t) {
            DriveMutations::updateFolder(c, t.alpha, std::nullopt, t.beta + 1000);
        },
        404);
    row(
        "move items",
        [](Change &c, const Tree &t) { DriveMutations::move(c, {t.topFile}, {t.alpha}, t.beta); },
        0);
    row(
        "move items where they are changes nothing",
        [](Change &c, const Tree &t) { DriveMutations::move(c, {t.fileInAlpha}, {}, t.alpha); }, 0);
    row(
        "move with one unknown item moves none",
        [](Change &c, const Tree &t) {
            DriveMutations::move(c, {t.topFile, 987654}, {}, t.beta);
        },
        404);
    row(
        "move two namesakes into one folder",
        [](Change &c, const Tree &t) {
            DriveMutations::renameFile(c, t.topFile, QStringLiteral("a.txt"));
            DriveMutations::move(c, {t.topFile, t.fileInAlpha}, {}, t.beta);
        },
        409);
    row(
        "move a folder under its own child",
        [](Change &c, const Tree &t) {
            const auto child = DriveMutations::createFolder(c, QStringLiteral("Child"), t.alpha);
            DriveMutations::move(c, {}, {t.alpha}, child);
        },
        400);
    row(
        "trash a file and a folder",
        [](Change &c, const Tree &t) { DriveMutations::trash(c, {t.topFile}, {t.beta}); }, 0);
    row(
        "trash with one unknown item trashes none",
        [](Change &c, const Tree &t) { DriveMutations::trash(c, {t.topFile}, {987654}); }, 404);
    row(
        "add a file",
        [](Change &c, const Tree &t) {
            FileRecord file;
            file.folderId = t.beta;
            file.name = QStringLiteral("new.txt");
            file.contentKey = QStringLiteral("drive/1/none");
            DriveMutations::addFile(c, file);
        },
        0);
}

void TestDriveStore::mutationsAnnounceOnceCommitted()
{
    QFETCH(Mutation, mutation);
    QFETCH(int, refusal);
    const std::int64_t accountId = newAccount(QStringLiteral("a@nimbal.test"));
    const Tree tree = plantTree(accountId);
    int announced = 0;
    const auto subscription =
        m_context->component<DriveChangeHub>().subscribe(accountId, [&announced] { ++announced; });
    const QByteArray before = snapshot(accountId);
    const auto windowBefore = read([&](Connection &c) { return ChangeFeed::window(c, accountId); });

    QCOMPARE(attempt(accountId, [&](DriveChange &change) { mutation(change, tree); }), refusal);

    const auto windowAfter = read([&](Connection &c) { return ChangeFeed::window(c, accountId); });
    const bool changed = snapshot(accountId) != before;
    QVERIFY2(refusal == 0 || !changed, "a refused mutation left a trace");
    // One announcement and one cursor per mutation that changed something, none otherwise.
    QCOMPARE(announced, changed ? 1 : 0);
    QCOMPARE(windowAfter.last - windowBefore.last, changed ? 1 : 0);
}

void TestDriveStore::checksNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("refusal");

    QTest::newRow("plain") << QStringLiteral("Été 2024") << 0;
    QTest::newRow("spaces kept") << QStringLiteral("  a  ") << 0;
    QTest::newRow("255 bytes") << QString(127, QChar(0xe9)) + u'a' << 0;
    QTest::newRow("256 bytes") << QString(128, QChar(0xe9)) << 400;
    QTest::newRow("empty") << QString() << 400;
    QTest::newRow("blank") << QStringLiteral(" \t ") << 400;
    QTest::newRow("dot") << QStringLiteral(".") << 400;
    QTest::newRow("dot dot") << QStringLiteral("..") << 400;
    QTest::newRow("slash") << QStringLiteral("a/b") << 400;
    QTest::newRow("line break") << QStringLiteral("a\nb") << 400;
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << 400;
}

void TestDriveStore::checksNames()
{
    QFETCH(QString, name);
    QFETCH(int, refusal);
    const std::int64_t accountId = newAccount(QStringLiteral("a@nimbal.test"));
    const Tree tree = plantTree(accountId);
    QCOMPARE(attempt(accountId,
                     [&](DriveChange &c) { DriveMutations::createFolder(c, name, driveRoot); }),
             refusal);
    // Renaming checks the same way; a good name is by then the new folder's, beside the file.
    QCOMPARE(attempt(accountId,
                     [&](DriveChange &c) { DriveMutations::renameFile(c, tree.topFile, name); }),
             refusal ? refusal : 409);
}

void TestDriveStore::trashTakesTheWholeFolder()
{
    const std::int64_t accountId = newAccount(QStringLiteral("a@nimbal.test"));
    const Tree tree = plantTree(accountId);
    const std::int64_t inner = changeDrive(*m_context, accountId, [&](DriveChange &c) {
        return DriveMutations::createFolder(c, QStringLiteral("Inner"), tree.alpha);
    });
    const std::int64_t deep =
        storedFile(accountId, inner, QStringLiteral("deep.bin"), QByteArray(1000, 'x')).id;
    QCOMPARE(storageUsed(accountId), 4 + 2 + 1000);
    const std::int64_t cursor =
        read([&](Connection &c) { return ChangeFeed::window(c, accountId).last; });

    QCOMPARE(
        attempt(accountId, [&](DriveChange &c) { DriveMutations::trash(c, {}, {tree.alpha}); }), 0);

    QCOMPARE(storageUsed(accountId), 2);
    read([&](Connection &c) {
        QCOMPARE(DriveStore::foldersIn(c, accountId, driveRoot).size(), 1u); // Beta
        const auto folders = DriveStore::foldersChangedAfter(c, accountId, cursor);
        const auto files = DriveStore::filesChangedAfter(c, accountId, cursor);
        QCOMPARE(folders.size(), 2u);
        QCOMPARE(files.size(), 2u);
        for (const auto &folder : folders)
            QVERIFY(folder.trashed);
        for (const auto &file : files) {
            QVERIFY(file.trashed);
            QVERIFY(file.id == deep || file.id == tree.fileInAlpha);
        }
    });
    // Gone from the tree: nothing can be put in it, it cannot be renamed; its name is free.
    QCOMPARE(attempt(accountId,
                     [&](DriveChange &c) {
                         DriveMutations::createFolder(c, QStringLiteral("x"), inner);
                     }),
             404);
    QCOMPARE(attempt(accountId,
                     [&](DriveChange &c) {
                         DriveMutations::createFolder(c, QStringLiteral("Alpha"), driveRoot);
                     }),
             0);
}

void TestDriveStore::anotherAccountsItemsAreNotFound_data()
{
    QTest::addColumn<Mutation>("mutation");
    using Change = DriveChange;
    QTest::newRow("rename its file") << Mutation([](Change &c, const Tree &t) {
        DriveMutations::renameFile(c, t.topFile, QStringLiteral("mine.txt"));
    });
    QTest::newRow("rename its folder") << Mutation([](Change &c, const Tree &t) {
        DriveMutations::updateFolder(c, t.alpha, QStringLiteral("Mine"), std::nullopt);
    });
    QTest::newRow("create in its folder") << Mutation([](Change &c, const Tree &t) {
        DriveMutations::createFolder(c, QStringLiteral("Mine"), t.alpha);
    });
    QTest::newRow("move its file") << Mutation(
        [](Change &c, const Tree &t) { DriveMutations::move(c, {t.topFile}, {}, driveRoot); });
    QTest::newRow("trash its folder")
        << Mutation([](Change &c, const Tree &t) { DriveMutations::trash(c, {}, {t.beta}); });
}

void TestDriveStore::anotherAccountsItemsAreNotFound()
{
    QFETCH(Mutation, mutation);
    const std::int64_t owner = newAccount(QStringLiteral("owner@nimbal.test"));
    const std::int64_t intruder = newAccount(QStringLiteral("intruder@nimbal.test"));
    const Tree tree = plantTree(owner);
    const QByteArray before = snapshot(owner);
    QCOMPARE(attempt(intruder, [&](DriveChange &change) { mutation(change, tree); }), 404);
    QCOMPARE(snapshot(owner), before);
}

void TestDriveStore::feedWindowSlidesAndCompacts()
{
    const std::int64_t accountId = newAccount(QStringLiteral("a@nimbal.test"));
    plantTree(accountId); // three mutations: the folders, then each file
    m_context->database().transaction([&](Connection &c) {
        const ChangeFeed::Window window = ChangeFeed::window(c, accountId);
        QCOMPARE(window.last, 3);
        QVERIFY(window.answers(0) && window.answers(3));
        QVERIFY(!window.answers(-1));
        QVERIFY(!window.answers(4)); // never handed out

        QCOMPARE(ChangeFeed::compact(c, accountId), 3);
        QVERIFY(!ChangeFeed::window(c, accountId).answers(2));
        QVERIFY(ChangeFeed::window(c, accountId).answers(3));

        // Far along, the window keeps only the latest mutations.
        c.exec("UPDATE drive_accounts SET last_cursor = 20000 WHERE account_id = ?", accountId);
        QCOMPARE(ChangeFeed::advance(c, accountId), 20001);
        const ChangeFeed::Window slid = ChangeFeed::window(c, accountId);
        QCOMPARE(slid.oldest, 20001 - ChangeFeed::retainedMutations);
    });
}

void TestDriveStore::demoDriveIsCoherent()
{
    const std::int64_t accountId = newAccount(QStringLiteral("demo@nimbal.test"));
    const ContentStore &store = m_context->component<ContentStore>();
    int announced = 0;
    const auto subscription =
        m_context->component<DriveChangeHub>().subscribe(accountId, [&announced] { ++announced; });
    const DemoDriveCounts counts = changeDrive(
        *m_context, accountId, [&](DriveChange &change) { return seedDemoDrive(change, store); });
    QCOMPARE(announced, 1);
    QVERIFY(counts.files >= 200);
    QVERIFY(counts.folders >= 10);

    std::int64_t liveBytes = 0;
    int archived = 0, trashed = 0, withThumbnails = 0;
    read([&](Connection &c) {
        const auto files = DriveStore::filesChangedAfter(c, accountId, 0);
        QCOMPARE(int(files.size()), counts.files);
        for (const FileRecord &file : files) {
            QFile content(QString::fromStdString(store.pathOf(file.contentKey)->string()));
            QVERIFY2(content.open(QIODevice::ReadOnly), qPrintable(file.name));
            QCOMPARE(contentHash(content.readAll()), file.contentHash);
            QCOMPARE(content.size(), file.size);
            archived += file.isArchived() && !file.trashed;
            trashed += file.trashed;
            liveBytes += file.trashed ? 0 : file.size;
            if (!file.thumbnailPath)
                continue;
            ++withThumbnails;
            // Every key a photo names can be presigned.
            const QString path = *file.thumbnailPath;
            const QStringList keys =
                path.startsWith(u'[')
                    ? QJsonDocument::fromJson(path.toUtf8()).toVariant().toStringList()
                    : QStringList{path};
            for (const QString &key : keys)
                QVERIFY2(Thumbnails::idOf(c, accountId, key), qPrintable(key));
        }
    });
    QCOMPARE(archived, counts.archivedFiles);
    QCOMPARE(trashed, counts.trashedFiles);
    QVERIFY(archived > 0 && trashed > 0 && withThumbnails > 0);
    QCOMPARE(storageUsed(accountId), liveBytes);

    // A second seeding meets its own folders and changes nothing.
    const QByteArray before = snapshot(accountId);
    QCOMPARE(attempt(accountId, [&](DriveChange &change) { seedDemoDrive(change, store); }), 409);
    QCOMPARE(snapshot(accountId), before);
}

void TestDriveStore::signedAddresses_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("expires");
    QTest::addColumn<std::int64_t>("at");
    QTest::addColumn<int>("verdict");

    const auto valid = int(UrlSigner::Verdict::valid);
    const auto expired = int(UrlSigner::Verdict::expired);
    const auto forged = int(UrlSigner::Verdict::forged);
    const QByteArray path = "/storage/content/drive/1/abc";
    const QByteArray deadline = QByteArray::number(now + 60);
    QTest::newRow("as signed") << QByteArray("GET") << path << deadline << now << valid;
    QTest::newRow("last second") << QByteArray("GET") << path << deadline << now + 59 << valid;
    QTest::newRow("at the deadline")
        << QByteArray("GET") << path << deadline << now + 60 << expired;
    QTest::newRow("other content")
        << QByteArray("GET") << QByteArray("/storage/content/drive/1/abd") << deadline << now
        << forged;
    QTest::newRow("deadline pushed")
        << QByteArray("GET") << path << QByteArray::number(now + 6000) << now << forged;
    QTest::newRow("other method") << QByteArray("PUT") << path << deadline << now << forged;
}

void TestDriveStore::signedAddresses()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, expires);
    QFETCH(std::int64_t, at);
    QFETCH(int, verdict);

    // The address handed out: GET of a content, good for a minute.
    const UrlSigner signer(QByteArray(32, 's'));
    const std::string query = signer.query("GET", "/storage/content/drive/1/abc", now + 60);
    const std::string signature = query.substr(query.find("signature=") + 10);
    QCOMPARE(int(signer.check(method.toStdString(), path.toStdString(), expires.toStdString(),
                              signature, at)),
             verdict);
    // Whatever the address, a service with another secret never accepts it.
    QCOMPARE(
        UrlSigner(QByteArray(32, 't'))
            .check(method.toStdString(), path.toStdString(), expires.toStdString(), signature, at),
        UrlSigner::Verdict::forged);
}

QTEST_GUILESS_MAIN(TestDriveStore)
#include "test_drive_store.moc"
