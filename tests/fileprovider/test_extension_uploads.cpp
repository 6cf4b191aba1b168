// SPDX-License-Identifier: GPL-3.0-or-later
// What the user does in the domain's folder reaches the drive: the daemon on a bus of the test's
// own, the real service, keychain and folders. Each test checks the drive through DriveAPI and
// the folder byte for byte, and that no version the user wrote is lost.
#include "ExtensionTest.h"
#include "sync/DomainSummary.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

void write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) < 0)
        qFatal("cannot write %s", qPrintable(path));
}

QString sha256(const QByteArray &content)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

// The drive's folder at `path` ("" for the root: nothing inside the optional), or nothing.
std::optional<std::optional<qint64>> driveFolder(const DriveAPI &drive, const QString &path)
{
    std::optional<qint64> folder;
    for (const QString &name : path.split(u'/', Qt::SkipEmptyParts)) {
        std::optional<qint64> next;
        for (const DriveFolder &child : runAsync(drive.folders(folder))) {
            if (child.name == name)
                next = child.id;
        }
        if (!next)
            return std::nullopt;
        folder = next;
    }
    return folder;
}

// The drive's file at `path` ("Documents/a.txt"), or nothing.
std::optional<DriveFile> driveFile(const DriveAPI &drive, const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const auto folder = driveFolder(drive, slash < 0 ? QString() : path.first(slash));
    if (!folder)
        return std::nullopt;
    for (const DriveFile &file : runAsync(drive.files(*folder))) {
        if (file.name == path.sliced(slash + 1))
            return file;
    }
    return std::nullopt;
}

// The paths of the conflict copies in a tree.
QStringList conflictCopies(const Tree &tree)
{
    QStringList copies;
    for (auto entry = tree.cbegin(); entry != tree.cend(); ++entry) {
        if (entry.key().contains(u" (conflit Linux "_qs))
            copies.append(entry.key());
    }
    return copies;
}

} // namespace

class TestExtensionUploads : public ExtensionTest {
    Q_OBJECT

private slots:
    void localOperationsReachTheService();
    void unsynchronisedEntriesStayLocal();
    void conflictKeepsBothVersions();
    void refusalsKeepTheLocalVersion_data();
    void refusalsKeepTheLocalVersion();
    void quotaStopsNewContent();
    void deletionsYieldToRemoteChanges();
    void queueSurvivesRestartWhileServiceFails();
    void largeFileGoesInParts();
    void randomisedEditsConverge();

private:
    // A mounted account whose folder holds Documents/{a,b}.txt and Archive/c.txt, in step.
    std::unique_ptr<Mounted> mountedWithDocuments(const QString &tag, qint64 quota = 10240);
    void settle(Mounted &mounted);
};

std::unique_ptr<ExtensionTest::Mounted>
TestExtensionUploads::mountedWithDocuments(const QString &tag, qint64 quota)
{
    auto mounted = account(tag, quota);
    const qint64 documents = runAsync(mounted->drive.createFolder(u"Documents"_qs, {}));
    const qint64 archive = runAsync(mounted->drive.createFolder(u"Archive"_qs, {}));
    service().putFile(mounted->email, u"c.txt"_qs, "archivé", archive);
    service().putFile(mounted->email, u"a.txt"_qs, "version du Nimbal", documents);
    service().putFile(mounted->email, u"b.txt"_qs, "autre", documents);
    addDomain(*mounted);
    const auto error = stabilise(*mounted, false);
    if (error)
        qFatal("first pass: %s", qPrintable(describe(error)));
    return mounted;
}

void TestExtensionUploads::settle(Mounted &mounted)
{
    const auto error = stabilise(mounted);
    QVERIFY2(!error, qPrintable(describe(error)));
}

void TestExtensionUploads::localOperationsReachTheService()
{
    auto mounted = mountedWithDocuments(u"local-ops"_qs);
    const QString root = mounted->folder();
    const qint64 renamedID = driveFile(mounted->drive, u"Documents/b.txt"_qs)->id;

    write(root + u"/Documents/nouveau.txt"_qs, "nouveau");
    write(root + u"/Documents/a.txt"_qs, "modifié ici");
    write(root + u"/Photos été/2024/plage.jpg"_qs, generated(70000));
    QVERIFY(QFile::rename(root + u"/Documents/b.txt"_qs, root + u"/Archive/b renommé.txt"_qs));
    settle(*mounted);
    QCOMPARE(driveTree(mounted->drive), diskTree(root));
    QCOMPARE(driveFile(mounted->drive, u"Documents/a.txt"_qs)->contentHash, sha256("modifié ici"));
    // Renamed and moved as one item: the same id, no new upload.
    QCOMPARE(driveFile(mounted->drive, u"Archive/b renommé.txt"_qs)->id, renamedID);

    // A folder renamed with its files, then a file deleted.
    const auto folderID = [&](const QString &name) {
        for (const DriveFolder &folder : runAsync(mounted->drive.folders({}))) {
            if (folder.name == name)
                return folder.id;
        }
        return qint64(0);
    };
    const qint64 photosID = folderID(u"Photos été"_qs);
    QVERIFY(photosID > 0);
    QVERIFY(QDir(root).rename(u"Photos été"_qs, u"Photos"_qs));
    QVERIFY(QFile::remove(root + u"/Documents/nouveau.txt"_qs));
    settle(*mounted);
    QCOMPARE(driveTree(mounted->drive), diskTree(root));
    QCOMPARE(folderID(u"Photos"_qs), photosID);
    QVERIFY(!driveFile(mounted->drive, u"Documents/nouveau.txt"_qs));
}

void TestExtensionUploads::unsynchronisedEntriesStayLocal()
{
    auto mounted = mountedWithDocuments(u"excluded"_qs);
    const QString root = mounted->folder();
    const Tree before = driveTree(mounted->drive);
    write(root + u"/Documents/.DS_Store"_qs, "finder");
    write(root + u"/Documents/~$rapport.docx"_qs, "verrou");
    write(root + u"/Documents/.~lock.a.txt#"_qs, "verrou");
    QVERIFY(QFile::link(root + u"/Documents/a.txt"_qs, root + u"/Documents/lien.txt"_qs));
    QVERIFY(::mkfifo(QFile::encodeName(root + u"/Documents/tube"_qs).constData(), 0600) == 0);
    const QByteArray badName = QFile::encodeName(root) + "/Documents/mauvais-\xff.txt";
    const int fd = ::open(badName.constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "x", 1), ssize_t(1));
    ::close(fd);
    settle(*mounted);
    QCOMPARE(driveTree(mounted->drive), before);
    // All of them still there, untouched.
    QVERIFY(QFileInfo(root + u"/Documents/lien.txt"_qs).isSymLink());
    QVERIFY(QFile::exists(root + u"/Documents/.DS_Store"_qs));
    QVERIFY(QFile::exists(root + u"/Documents/tube"_qs));
    QVERIFY(::access(badName.constData(), F_OK) == 0);
    ::unlink(badName.constData()); // a name the temporary folder's removal cannot spell
}

void TestExtensionUploads::conflictKeepsBothVersions()
{
    auto mounted = mountedWithDocuments(u"conflict"_qs);
    const QString root = mounted->folder();
    // The service's version changes first, then the user saves theirs before hearing of it.
    QTemporaryFile remote;
    QVERIFY(remote.open());
    remote.write("version du web");
    remote.flush();
    DriveAPI::LocalContent content;
    content.url = QUrl::fromLocalFile(remote.fileName());
    content.size = remote.size();
    content.contentHash = sha256("version du web");
    content.contentType = u"text/plain"_qs;
    const DriveFile file = *driveFile(mounted->drive, u"Documents/a.txt"_qs);
    runAsync(mounted->drive.replaceContent(file, content, {}, {}));
    write(root + u"/Documents/a.txt"_qs, "version d'ici");
    settle(*mounted);

    const Tree disk = diskTree(root);
    QCOMPARE(driveTree(mounted->drive), disk);
    QCOMPARE(disk[u"Documents/a.txt"_qs], sha256("version du web"));
    const QStringList copies = conflictCopies(disk);
    QCOMPARE(copies.size(), 1);
    QCOMPARE(disk[copies.first()], sha256("version d'ici"));
    QVERIFY(copies.first().startsWith(u"Documents/a (conflit Linux "_qs));
    const auto summary = DomainSummary::load(QUrl::fromLocalFile(mounted->summaryFile()));
    QVERIFY(summary && !summary->conflicts.isEmpty());
    QCOMPARE(summary->conflicts.first().originalName, u"a.txt"_qs);
    QCOMPARE(u"Documents/"_qs + summary->conflicts.first().copyName, copies.first());
}

void TestExtensionUploads::refusalsKeepTheLocalVersion_data()
{
    QTest::addColumn<QString>("state");       // the service's switch on Documents/a.txt
    QTest::addColumn<bool>("conflictCopy");   // the edit ends as a conflict copy on the drive
    QTest::addColumn<bool>("originalOnDisk"); // the original name stays in the folder
    QTest::newRow("open in the online editor") << u"locked"_qs << false << true;
    QTest::newRow("reinforced") << u"reinforced"_qs << true << true;
    QTest::newRow("archived") << u"glacier"_qs << true << false;
    QTest::newRow("precondition refused once") << u"409"_qs << false << true;
}

void TestExtensionUploads::refusalsKeepTheLocalVersion()
{
    QFETCH(QString, state);
    QFETCH(bool, conflictCopy);
    QFETCH(bool, originalOnDisk);
    auto mounted = mountedWithDocuments(u"refusal"_qs);
    const QString root = mounted->folder();
    const DriveFile file = *driveFile(mounted->drive, u"Documents/a.txt"_qs);
    if (state == u"409")
        service().injectFault("PUT", u"/api/v1/drive/files/%1/content"_qs.arg(file.id),
                              {409, false});
    else
        service().setFileState(mounted->email, file.id, state);
    settle(*mounted); // the state is read before the edit
    write(root + u"/Documents/a.txt"_qs, "mon travail");
    settle(*mounted);

    const Tree disk = diskTree(root);
    const QStringList copies = conflictCopies(disk);
    QCOMPARE(copies.size(), conflictCopy ? 1 : 0);
    QCOMPARE(disk.contains(u"Documents/a.txt"_qs), originalOnDisk);
    // The user's bytes are somewhere in the folder, whatever the refusal.
    QVERIFY(std::find(disk.cbegin(), disk.cend(), sha256("mon travail")) != disk.cend());
    const DriveFile after = *driveFile(mounted->drive, u"Documents/a.txt"_qs);
    if (state == u"409") {
        QCOMPARE(after.contentHash, sha256("mon travail")); // sent again, once it held
    } else {
        QCOMPARE(after.contentHash, file.contentHash); // never overwritten
    }
    if (conflictCopy)
        QCOMPARE(driveFile(mounted->drive, copies.first())->contentHash, sha256("mon travail"));
}

void TestExtensionUploads::quotaStopsNewContent()
{
    auto mounted = mountedWithDocuments(u"quota"_qs, 1);
    const QString root = mounted->folder();
    const QByteArray large = generated(2 << 20, 3);
    write(root + u"/Documents/trop grand.bin"_qs, large);
    settle(*mounted);
    // Refused for want of room, then nothing new is sent for a while; renames still go.
    write(root + u"/Documents/petit.txt"_qs, "petit");
    QVERIFY(QFile::rename(root + u"/Documents/b.txt"_qs, root + u"/Documents/b2.txt"_qs));
    settle(*mounted);
    QVERIFY(!driveFile(mounted->drive, u"Documents/trop grand.bin"_qs));
    QVERIFY(!driveFile(mounted->drive, u"Documents/petit.txt"_qs));
    QVERIFY(driveFile(mounted->drive, u"Documents/b2.txt"_qs));
    const Tree disk = diskTree(root);
    QCOMPARE(disk.value(u"Documents/trop grand.bin"_qs), sha256(large));
    QCOMPARE(disk.value(u"Documents/petit.txt"_qs), sha256("petit"));
}

void TestExtensionUploads::deletionsYieldToRemoteChanges()
{
    auto mounted = mountedWithDocuments(u"deletions"_qs);
    const QString root = mounted->folder();
    // Deleted here while the service changed it: the service's version comes back.
    const DriveFile a = *driveFile(mounted->drive, u"Documents/a.txt"_qs);
    QTemporaryFile remote;
    QVERIFY(remote.open());
    remote.write("changé sur le web");
    remote.flush();
    DriveAPI::LocalContent content;
    content.url = QUrl::fromLocalFile(remote.fileName());
    content.size = remote.size();
    content.contentHash = sha256("changé sur le web");
    content.contentType = u"text/plain"_qs;
    runAsync(mounted->drive.replaceContent(a, content, {}, {}));
    QVERIFY(QFile::remove(root + u"/Documents/a.txt"_qs));
    // Trashed on the service while edited here: the edit survives, re-created in place.
    const DriveFile c = *driveFile(mounted->drive, u"Archive/c.txt"_qs);
    write(root + u"/Archive/c.txt"_qs, "édité ici");
    runAsync(mounted->drive.trash({}, {*c.parentFolderID}));
    settle(*mounted);

    const Tree disk = diskTree(root);
    QCOMPARE(driveTree(mounted->drive), disk);
    QCOMPARE(disk.value(u"Documents/a.txt"_qs), sha256("changé sur le web"));
    QCOMPARE(disk.value(u"Archive/c.txt"_qs), sha256("édité ici"));
}

void TestExtensionUploads::queueSurvivesRestartWhileServiceFails()
{
    auto mounted = mountedWithDocuments(u"queue"_qs);
    const QString root = mounted->folder();
    // The service answers nothing but errors: nothing leaves, nothing is deleted.
    service().injectFault("GET", u"/api/v1/drive/changes"_qs, {503, false}, 1000);
    write(root + u"/Documents/hors-ligne.txt"_qs, "écrit hors ligne");
    QVERIFY(QFile::rename(root + u"/Documents/b.txt"_qs, root + u"/Archive/b.txt"_qs));
    QVERIFY(QFile::remove(root + u"/Documents/a.txt"_qs));
    QTest::qWait(1500);
    mounted->bus->killDaemon();
    write(root + u"/Archive/après.txt"_qs, "écrit après l'arrêt");
    QVERIFY(driveFile(mounted->drive, u"Documents/a.txt"_qs));
    QVERIFY(driveFile(mounted->drive, u"Documents/b.txt"_qs));

    service().reset();
    settle(*mounted); // the first call starts the daemon again
    QCOMPARE(driveTree(mounted->drive), diskTree(root));
    QVERIFY(driveFile(mounted->drive, u"Archive/après.txt"_qs));
    QVERIFY(!driveFile(mounted->drive, u"Documents/a.txt"_qs));
}

void TestExtensionUploads::largeFileGoesInParts()
{
    auto mounted = mountedWithDocuments(u"large"_qs);
    const QString root = mounted->folder();
    // Large enough that sending it outlasts the extension's first progress report (0.1 s after
    // the first change), now that the service takes parts in as fast as they come.
    const QByteArray content = generated(160 << 20, 7);
    write(root + u"/grand.bin"_qs, content);
    bool seenMoving = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            const FileProviderProgress moving = progress(*mounted, FileProviderTransferKind::upload);
            seenMoving = seenMoving || (!moving.finished && moving.completedUnitCount > 0);
            return seenMoving;
        },
        30000));
    settle(*mounted);
    QCOMPARE(driveFile(mounted->drive, u"grand.bin"_qs)->contentHash, sha256(content));
    QVERIFY(service().requestCount("POST", u"/api/v1/drive/upload/multipart/init"_qs) > 0);
}

void TestExtensionUploads::randomisedEditsConverge()
{
    // Batches of operations on both sides, each file touched at most once per batch; the
    // extension is killed before some passes. Every file's content is a unique tag, and the tags
    // that must survive are kept in a ledger: a version is only ever replaced by a newer one
    // from the side that had seen it, or by a deletion there.
    // NIMBAL_RANDOM_SEED replays a run; the seed is in every failure's message.
    bool given = false;
    const quint32 chosen = qEnvironmentVariable("NIMBAL_RANDOM_SEED").toUInt(&given);
    const quint32 seed = given ? chosen : 20261206;
    constexpr int batches = 30;
    constexpr int stepsPerBatch = 10;
    QRandomGenerator random(seed);
    auto mounted = mountedWithDocuments(u"random"_qs);
    const QString root = mounted->folder();
    const DriveAPI &drive = mounted->drive;
    QSet<QString> ledger;
    const Tree start = diskTree(root);
    for (const QString &hash : start) {
        if (!hash.isEmpty())
            ledger.insert(hash);
    }
    int tagCount = 0;
    const auto newTag = [&] {
        QByteArray tag = "tag-" + QByteArray::number(seed) + '-' + QByteArray::number(++tagCount);
        ledger.insert(sha256(tag));
        return tag;
    };
    const auto uploadContent = [&](const QByteArray &bytes, QTemporaryFile &file) {
        file.open();
        file.write(bytes);
        file.flush();
        DriveAPI::LocalContent content;
        content.url = QUrl::fromLocalFile(file.fileName());
        content.size = bytes.size();
        content.contentHash = sha256(bytes);
        content.contentType = u"text/plain"_qs;
        return content;
    };
    QStringList log;
    for (int batch = 0; batch < batches; ++batch) {
        const Tree disk = diskTree(root);
        QStringList files;
        QStringList folders{QString()};
        for (auto entry = disk.cbegin(); entry != disk.cend(); ++entry)
            (entry.value().isEmpty() ? folders : files).append(entry.key());
        QSet<QString> touched;
        for (int step = 0; step < stepsPerBatch; ++step) {
            const int operation = int(random.bounded(10));
            const QString folder = folders[random.bounded(int(folders.size()))];
            const QString prefix = folder.isEmpty() ? QString() : folder + u'/';
            QString file = files.isEmpty() ? QString() : files[random.bounded(int(files.size()))];
            if (operation >= 2 && operation < 8 && (file.isEmpty() || touched.contains(file)))
                continue;
            touched.insert(file);
            log.append(
                u"%1.%2 op %3 %4 in %5"_qs.arg(batch).arg(step).arg(operation).arg(file, folder));
            const auto existing = file.isEmpty() ? std::nullopt : driveFile(drive, file);
            switch (operation) {
            case 0: // a new file here
                write(root + u'/' + prefix + u"local-%1.txt"_qs.arg(tagCount + 1), newTag());
                break;
            case 1: // a new file there
                if (const auto parent = driveFolder(drive, folder))
                    service().putFile(mounted->email, u"remote-%1.txt"_qs.arg(tagCount + 1),
                                      newTag(), *parent);
                break;
            case 2: // edited here
                ledger.remove(disk[file]);
                write(root + u'/' + file, newTag());
                break;
            case 3: { // edited there
                if (!existing)
                    break;
                ledger.remove(disk[file]);
                QTemporaryFile content;
                runAsync(drive.replaceContent(*existing, uploadContent(newTag(), content), {}, {}));
                break;
            }
            case 4: { // edited on both sides: both versions stay
                if (!existing)
                    break;
                ledger.remove(disk[file]);
                QTemporaryFile content;
                runAsync(drive.replaceContent(*existing, uploadContent(newTag(), content), {}, {}));
                write(root + u'/' + file, newTag());
                break;
            }
            case 5: // deleted here
                ledger.remove(disk[file]);
                QFile::remove(root + u'/' + file);
                break;
            case 6: // trashed there
                if (!existing)
                    break;
                ledger.remove(disk[file]);
                runAsync(drive.trash({existing->id}, {}));
                break;
            case 7: // renamed or moved here
                QFile::rename(root + u'/' + file,
                              root + u'/' + prefix + u"moved-%1-%2.txt"_qs.arg(batch).arg(step));
                break;
            case 8: // a folder here
                QDir(root).mkpath(prefix + u"dossier-%1-%2"_qs.arg(batch).arg(step));
                break;
            case 9: { // twins that differ only by case or by how an accent is written
                const QString twin = (random.bounded(2) == 0 ? u"Été-%1-%2.txt"_qs
                                                              : u"e\u0301te\u0301-%1-%2.txt"_qs)
                                         .arg(batch)
                                         .arg(step);
                write(root + u'/' + prefix + twin, newTag());
                write(root + u'/' + prefix + twin.toLower().normalized(QString::NormalizationForm_C),
                      newTag());
                break;
            }
            }
        }
        if (random.bounded(5) == 0) {
            log.append(u"%1 restart"_qs.arg(batch));
            mounted->bus->killDaemon();
        }
        const auto error = stabilise(*mounted);
        QVERIFY2(!error, qPrintable(describe(error) + u" after\n"_qs + log.join(u'\n')));
    }
    const Tree disk = diskTree(root);
    QCOMPARE(driveTree(drive), disk);
    const QSet<QString> found(disk.cbegin(), disk.cend());
    const QSet<QString> lost = ledger - found;
    QVERIFY2(lost.isEmpty(),
             qPrintable(u"versions lost with seed %1:\n"_qs.arg(seed) + log.join(u'\n')));
    qInfo("seed %u, %d batches of %d steps, %d versions written", seed, batches, stepsPerBatch,
          tagCount);
}

QTEST_GUILESS_MAIN(TestExtensionUploads)
#include "test_extension_uploads.moc"
