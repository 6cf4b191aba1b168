// SPDX-License-Identifier: GPL-3.0-or-later
// Folder records and change-feed answers, and the models they become.
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"
#include "models/WireConversions.h"
#include "models/WireListings.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

class TestFolderAndChangeRecords : public QObject {
    Q_OBJECT

private slots:
    void folders_data();
    void folders();
    void changes_data();
    void changes();
    void failures_data();
    void failures();
};

void TestFolderAndChangeRecords::folders_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<DriveFolder>("expected");

    QTest::newRow("everything") << QByteArray(
        R"({"id":7,"id_parent":3,"folder_name":"Photos","date_modified":1600000000,
            "date_creation":1500000000,"to_delete":1})")
                                << driveFolder(7, QStringLiteral("Photos"), [](DriveFolder &f) {
                                       f.parentFolderID = 3;
                                       f.modifiedAt = utc(1600000000);
                                       f.isTrashed = true;
                                   });
    QTest::newRow("only the required keys")
        << QByteArray(R"({"id":7,"folder_name":"a"})") << driveFolder(7, QStringLiteral("a"));
    QTest::newRow("creation date stands in")
        << QByteArray(R"({"id":7,"folder_name":"a","date_creation":1500000000})")
        << driveFolder(7, QStringLiteral("a"),
                       [](DriveFolder &f) { f.modifiedAt = utc(1500000000); });
    QTest::newRow("parent 0 is the root")
        << QByteArray(R"({"id":7,"folder_name":"a","id_parent":0})")
        << driveFolder(7, QStringLiteral("a"));
}

void TestFolderAndChangeRecords::folders()
{
    QFETCH(QByteArray, record);
    QFETCH(DriveFolder, expected);
    QCOMPARE(folderFromWire(Json::decode<FolderDTO>(record)), expected);
    QCOMPARE(foldersFromWireListing("[" + record + "]"), std::vector{expected});
}

void TestFolderAndChangeRecords::changes_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<DriveChanges>("expected");

    QTest::newRow("nulls") << QByteArray(R"({"cursor":null,"files":null,"folders":null})")
                           << DriveChanges{};
    QTest::newRow("empty lists") << QByteArray(R"({"cursor":5,"files":[],"folders":[]})")
                                 << DriveChanges{5, {}, {}};
    // Trashed and archived items come through with their flags, in the service's order.
    QTest::newRow("items in order")
        << QByteArray(R"({"files":[{"id":2,"file_name":"b","to_delete":1},
            {"id":1,"file_name":"a","storage_class":"glacier"}],"cursor":9007199254740993,
            "folders":[{"id":4,"folder_name":"d"},{"id":3,"folder_name":"c","id_parent":4}]})")
        << DriveChanges{
               9007199254740993,
               {driveFolder(4, QStringLiteral("d")),
                driveFolder(3, QStringLiteral("c"), [](DriveFolder &f) { f.parentFolderID = 4; })},
               {driveFile(2, QStringLiteral("b"), [](DriveFile &f) { f.isTrashed = true; }),
                driveFile(1, QStringLiteral("a"),
                          [](DriveFile &f) { f.storageClass = StorageClass::glacier; })}};
}

void TestFolderAndChangeRecords::changes()
{
    QFETCH(QByteArray, answer);
    QFETCH(DriveChanges, expected);
    QCOMPARE(changesFromWire(Json::decode<ChangesDTO>(answer)), expected);
}

void TestFolderAndChangeRecords::failures_data()
{
    QTest::addColumn<bool>("feed"); // a change-feed answer, else a folder listing
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("description");

    QTest::newRow("folder: name missing")
        << false << QByteArray(R"([{"id":1,"folder_name":"a"},{"id":2}])")
        << QStringLiteral("$[1] : clé « folder_name » absente");
    QTest::newRow("folder: not a listing") << false << QByteArray(R"({"id":1,"folder_name":"a"})")
                                           << QStringLiteral("$ : tableau attendu");
    QTest::newRow("feed: file without a name")
        << true << QByteArray(R"({"files":[{"id":1,"file_name":"a"},{"id":2}]})")
        << QStringLiteral("$.files[1] : clé « file_name » absente");
    QTest::newRow("feed: folder with a fractional id")
        << true << QByteArray(R"({"folders":[{"id":0.5,"folder_name":"a"}]})")
        << QStringLiteral("$.folders[0].id : entier attendu, valeur non entière");
    QTest::newRow("feed: files as an object")
        << true << QByteArray(R"({"files":{}})") << QStringLiteral("$.files : tableau attendu");
    QTest::newRow("feed: a listing instead")
        << true << QByteArray("[]") << QStringLiteral("$ : objet attendu");
}

void TestFolderAndChangeRecords::failures()
{
    QFETCH(bool, feed);
    QFETCH(QByteArray, json);
    QFETCH(QString, description);
    const DriveError expected = DriveError::decoding(description);
    if (feed) {
        NIMBAL_EXPECT_DRIVE_ERROR(Json::decode<ChangesDTO>(json), expected);
        return;
    }
    NIMBAL_EXPECT_DRIVE_ERROR(foldersFromWireListing(json), expected);
    NIMBAL_EXPECT_DRIVE_ERROR(Json::decode<std::vector<FolderDTO>>(json), expected);
}

QTEST_GUILESS_MAIN(TestFolderAndChangeRecords)
#include "test_folder_and_change_records.moc"
