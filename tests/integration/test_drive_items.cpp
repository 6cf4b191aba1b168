// SPDX-License-Identifier: GPL-3.0-or-later
// Changing a drive's tree through the real client and the real local service: folders made,
// renamed and moved (with the three states of the parent), files renamed whatever their
// names hold, items moved and trashed, and the refusals, which leave the drive as it was.
#include "AsyncTest.h"
#include "DriveControls.h"
#include "DriveErrorTesting.h"
#include "LocalService.h"
#include "RawEventStream.h"
#include "ServiceClient.h"

#include <QTest>

#include <functional>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// The tree each refusal is tried on: Documents/ holding Archives/ and rapport.txt, Photos/.
struct Tree {
    qint64 documents = 0;
    qint64 archives = 0;
    qint64 photos = 0;
    DriveFile report;
};

using TreeStep = std::function<QCoro::Task<>(DriveAPI, Tree)>;

// The three states of a folder's parent in an update.
enum class ParentChange { none, toRoot, toFolder };

template <class Item>
QStringList namesOf(const std::vector<Item> &items)
{
    QStringList names;
    for (const Item &item : items)
        names.append(item.name);
    return names;
}

} // namespace

Q_DECLARE_METATYPE(TreeStep)
Q_DECLARE_METATYPE(ParentChange)

class TestDriveItems : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void updatesFolders_data();
    void updatesFolders();
    void renamesFilesWhateverTheName_data();
    void renamesFilesWhateverTheName();
    void movesItemsInAndOut();
    void trashesItems();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void changesReachTheEventStream();

private:
    Tree plantTree(const DriveAccount &account);

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
    std::unique_ptr<DriveControls> m_controls;
};

void TestDriveItems::initTestCase()
{
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
    m_controls = std::make_unique<DriveControls>(*m_service);
}

void TestDriveItems::cleanup()
{
    m_service->reset();
}

Tree TestDriveItems::plantTree(const DriveAccount &account)
{
    Tree tree;
    tree.documents = runAsync(account.drive.createFolder(QStringLiteral("Documents"), {}));
    tree.archives =
        runAsync(account.drive.createFolder(QStringLiteral("Archives"), tree.documents));
    tree.photos = runAsync(account.drive.createFolder(QStringLiteral("Photos"), {}));
    tree.report = m_controls->putFile(account.email, {QStringLiteral("rapport.txt"),
                                                      tree.documents,
                                                      "texte",
                                                      QStringLiteral("standard"),
                                                      {},
                                                      {}});
    return tree;
}

void TestDriveItems::updatesFolders_data()
{
    QTest::addColumn<std::optional<QString>>("name");
    QTest::addColumn<ParentChange>("parent");

    QTest::newRow("renamed, parent left") << std::optional(u"Dossiers"_qs) << ParentChange::none;
    QTest::newRow("to the top") << std::optional<QString>() << ParentChange::toRoot;
    QTest::newRow("into another folder") << std::optional<QString>() << ParentChange::toFolder;
    QTest::newRow("renamed and moved") << std::optional(u"Anciens"_qs) << ParentChange::toFolder;
}

void TestDriveItems::updatesFolders()
{
    QFETCH(std::optional<QString>, name);
    QFETCH(ParentChange, parent);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"folders"_qs);
    const Tree tree = plantTree(account);

    std::optional<std::optional<qint64>> parentID; // not given: the parent stays
    std::optional<qint64> expectedParent = tree.documents;
    if (parent == ParentChange::toRoot) {
        parentID.emplace(std::nullopt);
        expectedParent = std::nullopt;
    } else if (parent == ParentChange::toFolder) {
        parentID.emplace(tree.photos);
        expectedParent = tree.photos;
    }
    runAsync(account.drive.updateFolder(tree.archives, name, parentID));

    const auto siblings = runAsync(account.drive.folders(expectedParent));
    const auto moved = std::find_if(siblings.begin(), siblings.end(),
                                    [&](const DriveFolder &f) { return f.id == tree.archives; });
    QVERIFY(moved != siblings.end());
    QCOMPARE(moved->name, name.value_or(u"Archives"_qs));
    QCOMPARE(moved->parentFolderID, expectedParent);
    // What stays inside a folder that moved moves with it.
    QCOMPARE(runAsync(account.drive.files(tree.documents)).size(), 1u);
}

void TestDriveItems::renamesFilesWhateverTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces") << u"Rapport final 2024.pdf"_qs;
    QTest::newRow("quotes") << u"dit \"le grand\".txt"_qs;
    QTest::newRow("accents and ampersand") << u"Été & hiver — bilan.txt"_qs;
    QTest::newRow("backslash") << u"C:\\chemin.txt"_qs;
    QTest::newRow("beyond the basic plane") << u"photo 🏔.png"_qs;
}

void TestDriveItems::renamesFilesWhateverTheName()
{
    QFETCH(QString, name);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"rename"_qs);
    const Tree tree = plantTree(account);
    runAsync(account.drive.renameFile(tree.report.id, name));
    const auto files = runAsync(account.drive.files(tree.documents));
    QCOMPARE(files.size(), 1u);
    QCOMPARE(files[0].id, tree.report.id);
    QCOMPARE(files[0].name, name);
    // Only the name changed: the content is the same version.
    QCOMPARE(files[0].contentHash, tree.report.contentHash);
    QCOMPARE(files[0].uploadTimestamp, tree.report.uploadTimestamp);
}

void TestDriveItems::movesItemsInAndOut()
{
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"move"_qs);
    const Tree tree = plantTree(account);
    const DriveFile top =
        m_controls->putFile(account.email, {u"note.txt"_qs, {}, "n", u"standard"_qs, {}, {}});

    runAsync(account.drive.move({tree.report.id, top.id}, {tree.archives}, tree.photos));
    QCOMPARE(namesOf(runAsync(account.drive.files(tree.photos))),
             QStringList({u"note.txt"_qs, u"rapport.txt"_qs}));
    QCOMPARE(namesOf(runAsync(account.drive.folders(tree.photos))), QStringList{u"Archives"_qs});
    QVERIFY(runAsync(account.drive.files({})).empty());
    QVERIFY(runAsync(account.drive.files(tree.documents)).empty());

    // Back to the top: no target is the root.
    runAsync(account.drive.move({top.id}, {tree.archives}, std::nullopt));
    QCOMPARE(namesOf(runAsync(account.drive.files({}))), QStringList{u"note.txt"_qs});
    QCOMPARE(namesOf(runAsync(account.drive.folders({}))),
             QStringList({u"Archives"_qs, u"Documents"_qs, u"Photos"_qs}));
}

void TestDriveItems::trashesItems()
{
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"trash"_qs);
    const Tree tree = plantTree(account);
    const DriveFile top =
        m_controls->putFile(account.email, {u"note.txt"_qs, {}, "n", u"standard"_qs, {}, {}});

    runAsync(account.drive.trash({top.id}, {tree.documents}));
    QCOMPARE(namesOf(runAsync(account.drive.folders({}))), QStringList{u"Photos"_qs});
    QVERIFY(runAsync(account.drive.files({})).empty());
    // Inside the trash nothing can be listed any more, and a second trashing is harmless.
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(account.drive.files(tree.archives)), DriveError::notFound());
    runAsync(account.drive.trash({top.id}, {tree.documents}));
    // The names are free again.
    runAsync(account.drive.createFolder(u"Documents"_qs, {}));
}

void TestDriveItems::refusalsChangeNothing_data()
{
    QTest::addColumn<TreeStep>("step");
    QTest::addColumn<int>("status"); // 409 without a conflict header reads as versionConflict

    const auto row = [](const char *name, TreeStep step, int status) {
        QTest::newRow(name) << step << status;
    };
    row(
        "folder under a taken name",
        [](DriveAPI drive, Tree) -> QCoro::Task<> {
            co_await drive.createFolder(u"Photos"_qs, {});
        },
        409);
    row(
        "folder named like a file beside it",
        [](DriveAPI drive, Tree tree) -> QCoro::Task<> {
            co_await drive.createFolder(u"rapport.txt"_qs, tree.documents);
        },
        409);
    row(
        "file renamed like a folder beside it",
        [](DriveAPI drive, Tree tree) -> QCoro::Task<> {
            co_await drive.renameFile(tree.report.id, u"Archives"_qs);
        },
        409);
    row(
        "folder renamed with a slash",
        [](DriveAPI drive, Tree tree) -> QCoro::Task<> {
            co_await drive.updateFolder(tree.photos, u"a/b"_qs, std::nullopt);
        },
        400);
    row(
        "file renamed to nothing",
        [](DriveAPI drive, Tree tree) -> QCoro::Task<> {
            co_await drive.renameFile(tree.report.id, QString());
        },
        400);
    row(
        "folder moved into its own child",
        [](DriveAPI drive, Tree tree) -> QCoro::Task<> {
            co_await drive.updateFolder(tree.documents, std::nullopt, std::optional(tree.archives));
        },
        400);
    row(
        "move with one namesake moves none",
        [](DriveAPI drive, Tree tree) -> QCoro::Task<> {
            co_await drive.createFolder(u"rapport.txt"_qs, tree.photos);
            // Lists built before the wait: GCC 12 mishandles braced lists inside co_await.
            std::vector<qint64> files{tree.report.id};
            std::vector<qint64> folders{tree.archives};
            co_await drive.move(std::move(files), std::move(folders), tree.photos);
        },
        409);
}

void TestDriveItems::refusalsChangeNothing()
{
    QFETCH(TreeStep, step);
    QFETCH(int, status);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"refusal"_qs);
    const Tree tree = plantTree(account);
    const DriveChanges before = runAsync(account.drive.changes(0));

    std::optional<DriveError> failure;
    try {
        runAsync(step(account.drive, tree));
    } catch (const DriveError &error) {
        failure = error;
    }
    QVERIFY2(failure, "the service accepted it");
    if (status == 409) {
        QCOMPARE(*failure, DriveError::versionConflict());
    } else {
        QCOMPARE(failure->kind(), DriveError::Kind::http);
        QCOMPARE(failure->status(), status);
    }
    // Only what the row did before its refused request may have changed.
    const DriveChanges after = runAsync(account.drive.changes(before.cursor));
    for (const DriveFile &file : after.files)
        QVERIFY(file.id != tree.report.id);
    for (const DriveFolder &folder : after.folders)
        QVERIFY(folder.id != tree.documents && folder.id != tree.archives);
}

void TestDriveItems::changesReachTheEventStream()
{
    using namespace std::chrono_literals;
    constexpr int ceilingMilliseconds = 5000;
    const QString changed = QStringLiteral("drive.changed");
    m_service->setEventDebounce(1ms);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"events"_qs);
    const QByteArray token = account.client->currentAccessToken().value_or(QString()).toUtf8();
    RawEventStream stream(m_service->port(), "/api/v1/jmap/events/web?ping=30",
                          {{"Authorization", "Bearer " + token}});
    QTRY_COMPARE_WITH_TIMEOUT(stream.status(), 200, ceilingMilliseconds);

    // Each committed request is announced; one at a time, so none is folded into another.
    const qint64 folder = runAsync(account.drive.createFolder(u"Annoncé"_qs, {}));
    QTRY_COMPARE_WITH_TIMEOUT(stream.eventCount(changed), 1, ceilingMilliseconds);
    runAsync(account.drive.updateFolder(folder, u"Annoncé deux fois"_qs, std::nullopt));
    QTRY_COMPARE_WITH_TIMEOUT(stream.eventCount(changed), 2, ceilingMilliseconds);
    runAsync(account.drive.trash({}, {folder}));
    QTRY_COMPARE_WITH_TIMEOUT(stream.eventCount(changed), 3, ceilingMilliseconds);
}

QTEST_GUILESS_MAIN(TestDriveItems)
#include "test_drive_items.moc"
