// SPDX-License-Identifier: GPL-3.0-or-later
// File records as the service sends them, and the files they become: every rule of the
// conversion, the reader's handling of the JSON text, and the failures, which must name the
// key and the element.
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"
#include "models/WireConversions.h"
#include "models/WireListings.h"

#include <QTest>

#include <limits>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveFile)

class TestFileRecords : public QObject {
    Q_OBJECT

private slots:
    void conversion_data();
    void conversion();
    void readingTheText_data();
    void readingTheText();
    void failures_data();
    void failures();
};

namespace {

// The listing of one file, as the service would send it.
QByteArray listingOf(const char *record)
{
    return QByteArray("[") + record + ']';
}

} // namespace

void TestFileRecords::conversion_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<DriveFile>("expected");

    QTest::newRow("everything") << QByteArray(
        R"({"id":12,"id_folder":5,"file_name":"a.pdf","file_path":"u/1/a.pdf",
            "file_size":2048,"content_hash":"9f86d0","date_modified":1600000000,
            "date_upload":1700000000,"to_delete":0,"storage_class":"standard",
            "file_miniatures_path":"t/a_64x64.jpg"})")
                                << driveFile(12, QStringLiteral("a.pdf"), [](DriveFile &f) {
                                       f.parentFolderID = 5;
                                       f.storageKey = QStringLiteral("u/1/a.pdf");
                                       f.size = 2048;
                                       f.contentHash = QStringLiteral("9f86d0");
                                       f.modifiedAt = utc(1600000000);
                                       f.thumbnailPath = QStringLiteral("t/a_64x64.jpg");
                                       f.uploadTimestamp = 1700000000;
                                   });
    QTest::newRow("only the required keys")
        << QByteArray(R"({"id":1,"file_name":"a"})") << driveFile(1, QStringLiteral("a"));
    QTest::newRow("nulls are absent values")
        << QByteArray(R"({"id":1,"file_name":"a","id_folder":null,"file_path":null,
            "file_size":null,"content_hash":null,"date_modified":null,"date_upload":null,
            "to_delete":null,"storage_class":null,"file_miniatures_path":null})")
        << driveFile(1, QStringLiteral("a"));
    QTest::newRow("size half rounds up")
        << QByteArray(R"({"id":1,"file_name":"a","file_size":1234.5})")
        << driveFile(1, QStringLiteral("a"), [](DriveFile &f) { f.size = 1235; });
    QTest::newRow("negative half rounds away from zero")
        << QByteArray(R"({"id":1,"file_name":"a","file_size":-2.5})")
        << driveFile(1, QStringLiteral("a"), [](DriveFile &f) { f.size = -3; });
    QTest::newRow("size beyond 64 bits is clamped")
        << QByteArray(R"({"id":1,"file_name":"a","file_size":1e30})")
        << driveFile(1, QStringLiteral("a"),
                     [](DriveFile &f) { f.size = std::numeric_limits<qint64>::max(); });
    QTest::newRow("parent 0 is the root") << QByteArray(R"({"id":1,"file_name":"a","id_folder":0})")
                                          << driveFile(1, QStringLiteral("a"));
    QTest::newRow("empty hash and thumbnails are absent")
        << QByteArray(R"({"id":1,"file_name":"a","content_hash":"","file_miniatures_path":""})")
        << driveFile(1, QStringLiteral("a"));
    QTest::newRow("upload date stands in for the modification date")
        << QByteArray(R"({"id":1,"file_name":"a","date_upload":1700000000})")
        << driveFile(1, QStringLiteral("a"), [](DriveFile &f) {
               f.modifiedAt = QDateTime(QDate(2023, 11, 14), QTime(22, 13, 20), Qt::UTC);
               f.uploadTimestamp = 1700000000;
           });
    for (const auto &[toDelete, trashed] :
         {std::pair{"-1", false}, {"0", false}, {"1", true}, {"2", true}}) {
        QTest::addRow("to_delete %s", toDelete)
            << QByteArray(R"({"id":1,"file_name":"a","to_delete":)") + toDelete + '}'
            << driveFile(1, QStringLiteral("a"),
                         [trashed = trashed](DriveFile &f) { f.isTrashed = trashed; });
    }
    for (const auto &[word, storageClass] : {std::pair{R"(" Glacier ")", StorageClass::glacier},
                                             {R"("\tARCHIVING")", StorageClass::archiving},
                                             {R"("unarchiving")", StorageClass::unarchiving},
                                             {R"("Restoring")", StorageClass::restoring},
                                             {R"("cold")", StorageClass::standard},
                                             {R"("glacier\n")", StorageClass::standard},
                                             {R"("")", StorageClass::standard}}) {
        QTest::addRow("storage class %s", word)
            << QByteArray(R"({"id":1,"file_name":"a","storage_class":)") + word + '}'
            << driveFile(1, QStringLiteral("a"), [storageClass = storageClass](DriveFile &f) {
                   f.storageClass = storageClass;
               });
    }
}

void TestFileRecords::conversion()
{
    QFETCH(QByteArray, record);
    QFETCH(DriveFile, expected);
    QCOMPARE(fileFromWire(Json::decode<FileDTO>(record)), expected);
    QCOMPARE(filesFromWireListing(listingOf(record)), std::vector{expected});
}

void TestFileRecords::readingTheText_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<DriveFile>("expected");

    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    constexpr qint64 smallest = std::numeric_limits<qint64>::min();
    QTest::newRow("64-bit ids exactly")
        << QByteArray(R"({"id":9223372036854775807,"id_folder":9007199254740993,"file_name":"a"})")
        << driveFile(largest, QStringLiteral("a"),
                     [](DriveFile &f) { f.parentFolderID = 9007199254740993; });
    QTest::newRow("smallest id") << QByteArray(R"({"id":-9223372036854775808,"file_name":"a"})")
                                 << driveFile(smallest, QStringLiteral("a"));
    QTest::newRow("whole numbers written with a fraction or an exponent")
        << QByteArray(R"({"id":12.0,"file_name":"a","date_upload":1.7e9})")
        << driveFile(12, QStringLiteral("a"), [](DriveFile &f) {
               f.modifiedAt = utc(1700000000);
               f.uploadTimestamp = 1700000000;
           });
    QTest::newRow("escapes") << QByteArray(
        R"({"id":1,"file_name":"say \"hi\"\\\/\u00e9\n\t\ud83d\ude00.txt"})")
                             << driveFile(1, QStringLiteral("say \"hi\"\\/é\n\t\U0001F600.txt"));
    QTest::newRow("UTF-8 as is") << QByteArray(R"({"id":1,"file_name":"Réunion équipe 😀.pdf"})")
                                 << driveFile(1, QStringLiteral("Réunion équipe 😀.pdf"));
    QTest::newRow("escaped key") << QByteArray(R"({"id":1,"file\u005fname":"a"})")
                                 << driveFile(1, QStringLiteral("a"));
    QTest::newRow("white space everywhere")
        << QByteArray(
               "{ \"id\" : 1 ,\n\t\"file_name\" :\r\n \"a b\"  ,  \"content_hash\" : \"h\" \n}")
        << driveFile(1, QStringLiteral("a b"),
                     [](DriveFile &f) { f.contentHash = QStringLiteral("h"); });
    QTest::newRow("unknown keys skipped, whatever they hold")
        << QByteArray(R"({"x":{"file_name":5,"y":[1,{"id":"z"}]},"id":1,"mime":"a/b",
            "file_name":"a","tags":[[],{}],"flag":true,"n":null})")
        << driveFile(1, QStringLiteral("a"));
    QTest::newRow("the last of a repeated key wins")
        << QByteArray(R"({"id":1,"file_name":"a","file_name":"b"})")
        << driveFile(1, QStringLiteral("b"));
}

void TestFileRecords::readingTheText()
{
    QFETCH(QByteArray, record);
    QFETCH(DriveFile, expected);
    QCOMPARE(fileFromWire(Json::decode<FileDTO>(record)), expected);
    QCOMPARE(filesFromWireListing(listingOf(record)), std::vector{expected});
}

void TestFileRecords::failures_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QString>("description"); // a trailing "…" compares the start only

    const QByteArray good(R"({"id":1,"file_name":"a"})");
    QTest::newRow("name missing") << QByteArray(R"([{"id":1}])")
                                  << QStringLiteral("$[0] : clé « file_name » absente");
    QTest::newRow("id missing in the fourth file")
        << "[" + good + "," + good + "," + good + R"(,{"file_name":"x"}])"
        << QStringLiteral("$[3] : clé « id » absente");
    QTest::newRow("name of the wrong type") << "[" + good + R"(,{"id":2,"file_name":5}])"
                                            << QStringLiteral("$[1].file_name : chaîne attendue");
    QTest::newRow("name null") << QByteArray(R"([{"id":1,"file_name":null}])")
                               << QStringLiteral("$[0].file_name : chaîne attendue");
    QTest::newRow("fractional id")
        << QByteArray(R"([{"id":1.5,"file_name":"a"}])")
        << QStringLiteral("$[0].id : entier attendu, valeur non entière");
    QTest::newRow("id as text") << QByteArray(R"([{"id":"1","file_name":"a"}])")
                                << QStringLiteral("$[0].id : entier attendu");
    QTest::newRow("id beyond 64 bits")
        << QByteArray(R"([{"id":9223372036854775808,"file_name":"a"}])")
        << QStringLiteral("$[0].id : entier hors limites");
    QTest::newRow("fractional date")
        << QByteArray(R"([{"id":1,"file_name":"a","date_upload":1700000000.5}])")
        << QStringLiteral("$[0].date_upload : entier attendu, valeur non entière");
    QTest::newRow("size as text") << QByteArray(R"([{"id":1,"file_name":"a","file_size":"12"}])")
                                  << QStringLiteral("$[0].file_size : nombre attendu");
    QTest::newRow("an element that is not an object")
        << "[" + good + "," + good + ",7]" << QStringLiteral("$[2] : objet attendu");
    QTest::newRow("an object instead of a listing")
        << good << QStringLiteral("$ : tableau attendu");
    QTest::newRow("content after the listing")
        << "[" + good + "] []" << QStringLiteral("$ : contenu inattendu après la fin du JSON");
    QTest::newRow("not JSON") << QByteArray("<html>") << QStringLiteral("$ : JSON invalide (…");
    QTest::newRow("a lone number")
        << QByteArray("12") << QStringLiteral("$ : objet ou tableau attendu");
    QTest::newRow("cut short") << QByteArray(R"([{"id":1,"file_name":"a")")
                               << QStringLiteral("$… JSON invalide (…");
    QTest::newRow("invalid UTF-8") << QByteArray("[{\"id\":1,\"file_name\":\"\xff\"}]")
                                   << QStringLiteral("$ : JSON invalide (…");
    QTest::newRow("raw control character in a string")
        << QByteArray("[{\"id\":1,\"file_name\":\"a\x01\"}]")
        << QStringLiteral("$ : JSON invalide (…");
}

void TestFileRecords::failures()
{
    QFETCH(QByteArray, listing);
    QFETCH(QString, description);

    const auto matches = [&](const DriveError &error) {
        if (error.kind() != DriveError::Kind::decoding)
            return false;
        if (!description.endsWith(u'…'))
            return error.text() == description;
        // "$… x": the start, then a part found further on.
        const QStringList parts = description.chopped(1).split(u'…');
        return error.text().startsWith(parts.first()) && error.text().contains(parts.last());
    };
    // Both ways of reading a listing fail alike.
    for (const auto &read : std::initializer_list<std::function<void()>>{
             [&] { Json::decode<std::vector<FileDTO>>(listing); },
             [&] { filesFromWireListing(listing); }}) {
        try {
            read();
            QFAIL("the listing was read");
        } catch (const DriveError &error) {
            QVERIFY2(matches(error), qPrintable(error.errorDescription()));
            QVERIFY(error.errorDescription().startsWith(
                QStringLiteral("Réponse du serveur illisible. ")));
        }
    }
}

QTEST_GUILESS_MAIN(TestFileRecords)
#include "test_file_records.moc"
