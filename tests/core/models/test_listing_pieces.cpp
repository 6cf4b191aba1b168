// SPDX-License-Identifier: GPL-3.0-or-later
// Long listings are parsed a piece at a time. Whatever the piece size and wherever the cuts
// fall (inside names that look like element boundaries, inside nested values), the records and
// the failures must be exactly those of a parse in one go.
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"
#include "models/WireConversions.h"
#include "models/WireListings.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// Records whose texts mimic the cut the reader looks for ("}", ",", "{"), some with nested
// unknown values holding the same pattern, separated by varied white space.
QByteArray awkwardListing(int count, int withoutNameAt = -1)
{
    static const char *const names[] = {"plain %1", "a},{b%1", R"(q\"},{\"%1)", "é}, {ü",
                                        R"(}\n,\n{)"};
    static const char *const separators[] = {",\n  ", ",", " , "};
    QByteArray json = "[\n";
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            json += separators[i % 3];
        const QByteArray number = QByteArray::number(i);
        json += "{\"id\":" + number;
        if (i != withoutNameAt)
            json += ",\"file_name\":\"" + QByteArray(names[i % 5]).replace("%1", number) + '"';
        if (i % 4 == 0)
            json += R"(,"extra":{"list":[{"a":1},{"b":"},{"},{"c":[{},{}]}]})";
        if (i % 7 == 0)
            json += R"(,"file_miniatures_path":"[\"t_64x64.jpg\",\"t_256x256.jpg\"]")";
        json += ",\"date_upload\":" + QByteArray::number(1600000000 + i) + '}';
    }
    return json + "\n] ";
}

std::vector<DriveFile> readWhole(const QByteArray &json)
{
    std::vector<DriveFile> files;
    for (FileDTO &record : Json::decode<std::vector<FileDTO>>(json))
        files.push_back(fileFromWire(std::move(record)));
    return files;
}

} // namespace

class TestListingPieces : public QObject {
    Q_OBJECT

private slots:
    void sameRecordsWhateverThePieces_data();
    void sameRecordsWhateverThePieces();
    void sameFailuresWhateverThePieces_data();
    void sameFailuresWhateverThePieces();
    void aListingLongerThanOnePieceByDefault();
};

void TestListingPieces::sameRecordsWhateverThePieces_data()
{
    QTest::addColumn<size_t>("pieceSize");
    // From smaller than a record (every cut falls back to one go) to a few records per piece.
    for (size_t size : {8, 64, 97, 150, 256, 333, 1000, 4096})
        QTest::addRow("%zu bytes", size) << size;
}

void TestListingPieces::sameRecordsWhateverThePieces()
{
    QFETCH(size_t, pieceSize);
    const QByteArray json = awkwardListing(240);
    const std::vector<DriveFile> whole = readWhole(json);
    QCOMPARE(whole.size(), size_t(240));
    QCOMPARE(whole[1].name, QStringLiteral("a},{b1"));
    std::vector<DriveFile> inPieces;
    const auto onRecord = [&](FileDTO &&record) { inPieces.push_back(fileFromWire(record)); };
    Json::decodeEach<FileDTO>(json, onRecord, pieceSize);
    QCOMPARE(inPieces, whole);
}

void TestListingPieces::sameFailuresWhateverThePieces_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("handedOver"); // the records before the failure; -1: any

    const QByteArray listing = awkwardListing(120);
    QTest::newRow("a record without a name, far in")
        << awkwardListing(120, 97) << QStringLiteral("$[97] : clé « file_name » absente") << 97;
    QTest::newRow("content after the end")
        << listing + "{}" << QStringLiteral("$ : contenu inattendu après la fin du JSON") << -1;
    QTest::newRow("an object instead of a listing")
        << "{\"x\":" + listing + "}" << QStringLiteral("$ : tableau attendu") << 0;
    QTest::newRow("a long listing of numbers") << "[1" + QByteArray(",1").repeated(400) + "]"
                                               << QStringLiteral("$[0] : objet attendu") << 0;
    QByteArray noComma = listing;
    noComma.replace("1600000100} , {", "1600000100} {");
    QTest::newRow("a missing comma far in")
        << noComma
        << QStringLiteral("$ : JSON invalide (The JSON document has an improper "
                          "structure: missing or superfluous commas, braces, missing "
                          "keys, etc.)")
        << -1;
    QByteArray wrongType = listing;
    wrongType.replace("\"date_upload\":1600000100", "\"date_upload\":\"x\"");
    QTest::newRow("a wrong type far in")
        << wrongType << QStringLiteral("$[100].date_upload : entier attendu") << 100;
}

void TestListingPieces::sameFailuresWhateverThePieces()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, description);
    QFETCH(int, handedOver);
    const DriveError expected = DriveError::decoding(description);
    NIMBAL_EXPECT_DRIVE_ERROR(readWhole(json), expected);
    for (size_t pieceSize : {64, 200, 300, 1000, 100000}) {
        // Each record before the failure is handed over once, in order.
        qint64 next = 0;
        const auto onRecord = [&](FileDTO &&record) { QCOMPARE(record.id, next++); };
        NIMBAL_EXPECT_DRIVE_ERROR(Json::decodeEach<FileDTO>(json, onRecord, pieceSize), expected);
        if (handedOver >= 0)
            QCOMPARE(next, qint64(handedOver));
    }
}

void TestListingPieces::aListingLongerThanOnePieceByDefault()
{
    const QByteArray json = awkwardListing(40000);
    QVERIFY(size_t(json.size()) > 2 * Json::arrayPieceSize);
    QCOMPARE(filesFromWireListing(json), readWhole(json));
}

QTEST_GUILESS_MAIN(TestListingPieces)
#include "test_listing_pieces.moc"
