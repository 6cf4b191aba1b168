// SPDX-License-Identifier: GPL-3.0-or-later
// What a file model tells its users: which thumbnail to fetch, whether to synchronise it, and
// the copy it becomes after a rename or a move.
#include "DriveModelsTesting.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(OrvelanNimbal::StorageClass)

class TestDriveFile : public QObject {
    Q_OBJECT

private slots:
    void thumbnails_data();
    void thumbnails();
    void synchronisation_data();
    void synchronisation();
};

void TestDriveFile::thumbnails_data()
{
    QTest::addColumn<std::optional<QString>>("path");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<std::optional<QString>>("preferred");

    const std::optional<QString> none;
    QTest::newRow("none") << none << QStringList() << none;
    QTest::newRow("one key") << std::optional(QStringLiteral("a_64x64.png"))
                             << QStringList{QStringLiteral("a_64x64.png")}
                             << std::optional(QStringLiteral("a_64x64.png"));
    QTest::newRow("array: strings kept, others skipped")
        << std::optional(QStringLiteral(R"(["x_64x64.jpg","x_256x256.jpg",3,"",null,{"k":"v"}])"))
        << QStringList{QStringLiteral("x_64x64.jpg"), QStringLiteral("x_256x256.jpg")}
        << std::optional(QStringLiteral("x_256x256.jpg"));
    QTest::newRow("array after white space")
        << std::optional(QStringLiteral("\n [\"b_1024x1024.png\", \"b_64x64.png\"] "))
        << QStringList{QStringLiteral("b_1024x1024.png"), QStringLiteral("b_64x64.png")}
        << std::optional(QStringLiteral("b_1024x1024.png"));
    QTest::newRow("no size label: the first")
        << std::optional(QStringLiteral(R"(["c.jpg","d_256x256"])"))
        << QStringList{QStringLiteral("c.jpg"), QStringLiteral("d_256x256")}
        << std::optional(QStringLiteral("c.jpg"));
    QTest::newRow("label must follow an underscore")
        << std::optional(QStringLiteral(R"(["e256x256.jpg","f_64x64.jpg"])"))
        << QStringList{QStringLiteral("e256x256.jpg"), QStringLiteral("f_64x64.jpg")}
        << std::optional(QStringLiteral("f_64x64.jpg"));
    QTest::newRow("not JSON after the bracket")
        << std::optional(QStringLiteral("[x_64x64.jpg")) << QStringList() << none;
    QTest::newRow("escapes inside the array")
        << std::optional(QStringLiteral(R"(["a\"b_256x256.jpg","\u00e9.jpg"])"))
        << QStringList{QStringLiteral("a\"b_256x256.jpg"), QStringLiteral("é.jpg")}
        << std::optional(QStringLiteral("a\"b_256x256.jpg"));
}

void TestDriveFile::thumbnails()
{
    QFETCH(std::optional<QString>, path);
    QFETCH(QStringList, keys);
    QFETCH(std::optional<QString>, preferred);
    const DriveFile file =
        driveFile(1, QStringLiteral("a"), [&](DriveFile &f) { f.thumbnailPath = path; });
    QCOMPARE(file.thumbnailKeys(), keys);
    QCOMPARE(file.preferredThumbnailKey(), preferred);
}

void TestDriveFile::synchronisation_data()
{
    QTest::addColumn<bool>("trashed");
    QTest::addColumn<StorageClass>("storageClass");
    QTest::addColumn<bool>("synchronizable");
    QTest::newRow("standard") << false << StorageClass::standard << true;
    QTest::newRow("trashed") << true << StorageClass::standard << false;
    QTest::newRow("glacier") << false << StorageClass::glacier << false;
    QTest::newRow("trashed glacier") << true << StorageClass::glacier << false;
}

void TestDriveFile::synchronisation()
{
    QFETCH(bool, trashed);
    QFETCH(StorageClass, storageClass);
    QFETCH(bool, synchronizable);
    const DriveFile file = driveFile(1, QStringLiteral("a"), [&](DriveFile &f) {
        f.isTrashed = trashed;
        f.storageClass = storageClass;
    });
    QCOMPARE(file.isSynchronizable(), synchronizable);
}

QTEST_GUILESS_MAIN(TestDriveFile)
#include "test_drive_file.moc"
