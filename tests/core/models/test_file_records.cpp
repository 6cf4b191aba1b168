// SPDX-License-Identifier: GPL-3.0-or-later
// File records and the files they become: the conversion's rules, the reader's handling of the
// text, the failures (which name the key and the element), and the thumbnails a file offers.
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"
#include "models/WireConversions.h"
#include "models/WireListings.h"

#include <QTest>

#include <limits>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// The record of file 1 named "a", with more keys.
QByteArray recordA(const QByteArray &more)
{
    return QByteArray(R"({"id":1,"file_name":"a",)") + more + '}';
}

DriveFile fileA(const std::function<void(DriveFile &)> &change = {})
{
    return driveFile(1, QStringLiteral("a"), change);
}

} // namespace

class TestFileRecords : public QObject {
    Q_OBJECT

private slots:
    void conversion_data();
    void conversion();
    void failures_data();
    void failures();
    void thumbnails_data();
    void thumbnails();
};

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
    QTest::newRow("only the required keys") << QByteArray(R"({"id":1,"file_name":"a"})") << fileA();
    QTest::newRow("nulls are absent values")
        << recordA(R"("id_folder":null,"file_path":null,"file_size":null,"content_hash":null,
            "date_modified":null,"date_upload":null,"to_delete":null,"storage_class":null,
            "file_miniatures_path":null)")
        << fileA();
    QTest::newRow("size: a half rounds up")
        << recordA(R"("file_size":1234.5)") << fileA([](DriveFile &f) { f.size = 1235; });
    QTest::newRow("size: a negative half rounds away from zero")
        << recordA(R"("file_size":-2.5)") << fileA([](DriveFile &f) { f.size = -3; });
    QTest::newRow("size beyond 64 bits is clamped")
        << recordA(R"("file_size":1e30)")
        << fileA([](DriveFile &f) { f.size = std::numeric_limits<qint64>::max(); });
    QTest::newRow("parent 0 is the root") << recordA(R"("id_folder":0)") << fileA();
    QTest::newRow("empty hash and thumbnails are absent")
        << recordA(R"("content_hash":"","file_miniatures_path":"")") << fileA();
    QTest::newRow("upload date stands in for the modification date")
        << recordA(R"("date_upload":1700000000)") << fileA([](DriveFile &f) {
               f.modifiedAt = QDateTime(QDate(2023, 11, 14), QTime(22, 13, 20), Qt::UTC);
               f.uploadTimestamp = 1700000000;
           });
    QTest::newRow("to_delete -1") << recordA(R"("to_delete":-1)") << fileA();
    QTest::newRow("to_delete 2") << recordA(R"("to_delete":2)")
                                 << fileA([](DriveFile &f) { f.isTrashed = true; });
    for (const auto &[word, storageClass] : {std::pair{R"(" Glacier ")", StorageClass::glacier},
                                             {R"("\tARCHIVING")", StorageClass::archiving},
                                             {R"("unarchiving")", StorageClass::unarchiving},
                                             {R"("cold")", StorageClass::standard},
                                             {R"("glacier\n")", StorageClass::standard}}) {
        QTest::addRow("storage class %s", word)
            << recordA("\"storage_class\":" + QByteArray(word))
            << fileA(
                   [storageClass = storageClass](DriveFile &f) { f.storageClass = storageClass; });
    }

    // How the reader takes the text.
    QTest::newRow("64-bit ids exactly")
        << QByteArray(R"({"id":9223372036854775807,"id_folder":9007199254740993,"file_name":"a"})")
        << driveFile(std::numeric_limits<qint64>::max(), QStringLiteral("a"),
                     [](DriveFile &f) { f.parentFolderID = 9007199254740993; });
    QTest::newRow("whole numbers written with a fraction or an exponent")
        << QByteArray(R"({"id":1.0,"file_name":"a","date_upload":1.7e9})")
        << fileA([](DriveFile &f) {
               f.modifiedAt = utc(1700000000);
               f.uploadTimestamp = 1700000000;
           });
    QTest::newRow("escapes") << QByteArray(
        R"({"id":1,"file_name":"say \"hi\"\\\/\u00e9\n\t\ud83d\ude00.txt"})")
                             << driveFile(1, QStringLiteral("say \"hi\"\\/é\n\t\U0001F600.txt"));
    for (const auto &[tag, name, text] :
         {std::tuple{"U+FEFF leading, escaped", R"(\ufeffx)", u"\uFEFFx"},
          {"U+FEFF leading, raw", "\xEF\xBB\xBFx", u"\uFEFFx"},
          {"U+FEFF twice", "\xEF\xBB\xBF\xEF\xBB\xBF", u"\uFEFF\uFEFF"},
          {"U+FEFF escaped then raw", "\\ufeff\xEF\xBB\xBFx", u"\uFEFF\uFEFFx"}}) {
        QTest::newRow(tag) << QByteArray(R"({"id":1,"file_name":")") + name + "\"}"
                           << driveFile(1, QStringView(text).toString());
    }
    QTest::newRow("escaped key") << QByteArray(R"({"id":1,"file\u005fname":"a"})") << fileA();
    // Texts without escapes are read straight from the raw token, which may end in white space.
    QTest::newRow("white space around texts")
        << QByteArray("{ \"id\" : 1 ,\"file_name\" :\r\n \"a\"  ,\t\"content_hash\" : \"h\" \n}")
        << fileA([](DriveFile &f) { f.contentHash = QStringLiteral("h"); });
    QTest::newRow("unknown keys skipped, whatever they hold")
        << recordA(R"("x":{"file_name":5,"y":[1,{"id":"z"}]},"tags":[[],{}],"f":true,"n":null)")
        << fileA();
    QTest::newRow("the last of a repeated key wins")
        << recordA(R"("file_name":"b")") << driveFile(1, QStringLiteral("b"));
}

void TestFileRecords::conversion()
{
    QFETCH(QByteArray, record);
    QFETCH(DriveFile, expected);
    QCOMPARE(fileFromWire(Json::decode<FileDTO>(record)), expected);
    QCOMPARE(filesFromWireListing("[" + record + "]"), std::vector{expected});
}

void TestFileRecords::failures_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QString>("description");
    const auto add = [](const char *name, const QByteArray &listing, const char *description) {
        QTest::newRow(name) << listing << QString::fromUtf8(description);
    };

    const QByteArray good(R"({"id":1,"file_name":"a"})");
    add("name missing", R"([{"id":1}])", "$[0] : clé « file_name » absente");
    add("id missing in the fourth file",
        "[" + good + "," + good + "," + good + R"(,{"file_name":"x"}])",
        "$[3] : clé « id » absente");
    add("name of the wrong type", "[" + good + R"(,{"id":2,"file_name":5}])",
        "$[1].file_name : chaîne attendue");
    add("fractional id", R"([{"id":1.5,"file_name":"a"}])",
        "$[0].id : entier attendu, valeur non entière");
    add("id as text", R"([{"id":"1","file_name":"a"}])", "$[0].id : entier attendu");
    add("id beyond 64 bits", R"([{"id":9223372036854775808,"file_name":"a"}])",
        "$[0].id : entier hors limites");
    add("size as text", "[" + recordA(R"("file_size":"12")") + "]",
        "$[0].file_size : nombre attendu");
    add("an element that is not an object", "[" + good + "," + good + ",7]",
        "$[2] : objet attendu");
    add("an object instead of a listing", good, "$ : tableau attendu");
    add("content after the listing", "[" + good + "] []",
        "$ : contenu inattendu après la fin du JSON");
    add("a lone number", "12", "$ : objet ou tableau attendu");
    // Names without escapes are taken as they stand in the text: the parser must have checked them.
    add("invalid UTF-8", "[{\"id\":1,\"file_name\":\"\xff\"}]",
        "$ : JSON invalide (The input is not valid UTF-8)");
    add("raw control character in a string", "[{\"id\":1,\"file_name\":\"a\x01\"}]",
        "$ : JSON invalide (Within strings, some characters must be escaped, we found unescaped "
        "characters)");
}

void TestFileRecords::failures()
{
    QFETCH(QByteArray, listing);
    QFETCH(QString, description);
    // Both ways of reading a listing fail alike.
    NIMBAL_EXPECT_DRIVE_ERROR(Json::decode<std::vector<FileDTO>>(listing),
                              DriveError::decoding(description));
    NIMBAL_EXPECT_DRIVE_ERROR(filesFromWireListing(listing), DriveError::decoding(description));
}

void TestFileRecords::thumbnails_data()
{
    QTest::addColumn<QString>("path"); // null: none
    QTest::addColumn<QString>("keys"); // separated by spaces
    QTest::addColumn<QString>("preferred");
    const auto add = [](const char *name, const char *path, const char *keys,
                        const char *preferred) {
        QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(keys)
                            << QString::fromUtf8(preferred);
    };
    add("none", nullptr, "", "");
    add("one key", "a_64x64.png", "a_64x64.png", "a_64x64.png");
    add("array: strings kept, others skipped",
        R"(["x_64x64.jpg","x_256x256.jpg",3,"",null,{"k":"v"}])", "x_64x64.jpg x_256x256.jpg",
        "x_256x256.jpg");
    add("array after white space; 1024 before 64", "\n [\"b_64x64.png\", \"b_1024x1024.png\"] ",
        "b_64x64.png b_1024x1024.png", "b_1024x1024.png");
    add("no size label: the first", R"(["c.jpg","d_256x256"])", "c.jpg d_256x256", "c.jpg");
    add("label must follow an underscore", R"(["e256x256.jpg","f_64x64.jpg"])",
        "e256x256.jpg f_64x64.jpg", "f_64x64.jpg");
    add("not JSON after the bracket", "[x_64x64.jpg", "", "");
    add("not an array of texts", R"(["a_64x64.jpg",)", "", "");
    QTest::newRow("a key that begins with U+FEFF")
        << QStringLiteral("[\"\uFEFFg_64x64.png\"]") << QStringLiteral("\uFEFFg_64x64.png")
        << QStringLiteral("\uFEFFg_64x64.png");
}

void TestFileRecords::thumbnails()
{
    QFETCH(QString, path);
    QFETCH(QString, keys);
    QFETCH(QString, preferred);
    const DriveFile file = fileA([&](DriveFile &f) {
        if (!path.isNull())
            f.thumbnailPath = path;
    });
    QCOMPARE(file.thumbnailKeys(), keys.split(u' ', Qt::SkipEmptyParts));
    QCOMPARE(file.preferredThumbnailKey(),
             preferred.isEmpty() ? std::nullopt : std::optional(preferred));
}

QTEST_GUILESS_MAIN(TestFileRecords)
#include "test_file_records.moc"
