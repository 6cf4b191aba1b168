// SPDX-License-Identifier: GPL-3.0-or-later
// Randomised steps on both sides of a folder and a drive in memory, with the faults of the real
// world between them: names that differ only by case or by how an accent is written, a leading
// byte-order mark, links in place of items, unreadable files, refused uploads, version
// conflicts, a locked file, a forgotten change feed, restarts and kills at the engine's crash
// points. Every content written carries a unique tag kept in a ledger; at the end, with the
// faults lifted, the folder and the drive must be equal and every tag that was not replaced or
// deleted by the side that had it must be found on disk or among what the drive ever held.
// Passes look at what the folder's watcher reported, as the daemon's do; of the final quiet
// rounds, a day apart, all but the first begin with the daemon's hourly look at everything.
//
// NIMBAL_RANDOM_SEED picks the seed (printed, with the steps, on failure);
// NIMBAL_RANDOM_STEPS the number of steps (1200 by default); NIMBAL_RANDOM_VERBOSE keeps the
// engine's log.
#include "EngineHarness.h"
#include "FileAccess.h"
#include "disk/FolderNames.h"
#include "engine/CrashPoints.h"

#include <QDir>
#include <QLoggingCategory>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;
using namespace OrvelanNimbal::Testing;

namespace {

// Names that collide where a disk folds them, and nowhere else.
const QStringList fileNames{u"Note"_qs,
                            u"note"_qs,
                            u"NOTE"_qs,
                            u"\u00e9t\u00e9"_qs,
                            u"e\u0301te\u0301"_qs,
                            QString(QChar(0xfeff)) + u"marque"_qs,
                            u"doc"_qs};
const QStringList folderNames{u"Dossier"_qs, u"dossier"_qs, u"d\u00e9j\u00e0"_qs,
                              u"de\u0301ja\u0300"_qs};
const QStringList crashPoints{u"move.parked"_qs,       u"move.done"_qs,      u"download.written"_qs,
                              u"download.placed"_qs,   u"upload.sent"_qs,    u"folder.made"_qs,
                              u"folder.created"_qs,    u"moveThere.sent"_qs, u"conflict.keptAside"_qs,
                              u"removal.done"_qs,      u"trash.sent"_qs};

class RandomRun {
public:
    explicit RandomRun(quint32 seed)
        : m_random(seed)
        , m_outside(m_harness.directory.filePath(u"dehors"_qs))
    {
        QDir().mkpath(m_outside);
    }

    void step(int number)
    {
        const int kind = int(m_random.bounded(24));
        if (kind < 10)
            local(kind, number);
        else if (kind < 17)
            remote(kind, number);
        else
            fault(kind, number);
    }

    // A pass, or a few, as the daemon would run them; a kill ends with a restart.
    void passes(int limit = 2)
    {
        try {
            m_harness.settle(limit);
        } catch (const CrashPoints::Killed &killed) {
            note(u"killed at "_qs + killed.point);
            m_harness.reopen();
        } catch (const std::exception &error) {
            // A pass ended by an error of its own: the daemon tries again later; the run
            // reports it, as no item's failure may end a pass.
            m_escaped.append(QString::fromUtf8(error.what()));
            note(u"pass ended: "_qs + QString::fromUtf8(error.what()));
        }
        CrashPoints::disarm();
    }

    // Every fault lifted: links removed, files readable, nothing locked or refused.
    void quiet()
    {
        CrashPoints::disarm();
        for (const QString &path : QStringList(m_links.begin(), m_links.end()))
            ::unlink(QFile::encodeName(m_harness.file(path)).constData());
        m_links.clear();
        // The engine may have moved an unreadable file since: every file is looked at.
        for (const QString &root : {m_harness.folder, m_outside}) {
            std::vector<QString> pending{root};
            while (!pending.empty()) {
                const QString folder = pending.back();
                pending.pop_back();
                for (const QString &name : namesIn(folder)) {
                    const QString path = folder + u'/' + name;
                    struct stat info {};
                    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
                        continue;
                    if (S_ISDIR(info.st_mode))
                        pending.push_back(path);
                    else if (S_ISREG(info.st_mode) && (info.st_mode & S_IRUSR) == 0)
                        makeReadable(path);
                }
            }
        }
        for (const qint64 id : std::as_const(m_locked))
            m_harness.drive.setLocked(id, false);
        m_locked.clear();
        m_harness.drive.refuseDirectUploads(false);
        note(u"quiet"_qs);
        for (int round = 0; round < 4; ++round) {
            m_harness.client.clock->advance(std::chrono::hours(25));
            // A day later: the daemon's hourly look at the whole folder has come by.
            if (round > 0)
                m_harness.scope = PassScope::everything();
            passes(12);
        }
    }

    QString check()
    {
        QStringList problems;
        const QMap<QString, QByteArray> disk = diskTree();
        const QMap<QString, QByteArray> drive = m_harness.drive.tree();
        if (disk != drive) {
            for (const auto &[name, tree] : {std::pair{u"disk"_qs, &disk}, {u"drive"_qs, &drive}}) {
                QStringList paths;
                for (auto entry = tree->cbegin(); entry != tree->cend(); ++entry)
                    paths.append(entry.key());
                problems.append(name + u": "_qs + paths.join(u" | "_qs));
            }
            for (auto entry = disk.cbegin(); entry != disk.cend(); ++entry) {
                if (drive.value(entry.key(), "<none>") != entry.value())
                    problems.append(u"on disk only or differing: %1 (disk « %2 », drive « %3 »)"_qs
                                        .arg(entry.key(), QString::fromUtf8(entry.value()),
                                             QString::fromUtf8(drive.value(entry.key(), "<none>"))));
            }
            const ItemTable rows = m_harness.journalItems();
            for (auto entry = drive.cbegin(); entry != drive.cend(); ++entry) {
                if (disk.contains(entry.key()))
                    continue;
                const qint64 id = *m_harness.drive.find(entry.key());
                const bool folder = m_harness.drive.item(id).folder;
                const ItemRecord row = rows.value({folder ? ItemKind::folder : ItemKind::file, id});
                problems.append(u"on the drive only: %1 (%2, journal: place « %3 », left out « %4 »)"_qs
                                    .arg(entry.key())
                                    .arg(id)
                                    .arg(row.base.path, row.skipped));
            }
        }
        QSet<QByteArray> found(disk.cbegin(), disk.cend());
        QDirIterator outside(m_outside, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (outside.hasNext()) {
            QFile file(outside.next());
            if (file.open(QIODevice::ReadOnly))
                found.insert(file.readAll());
        }
        for (const QByteArray &tag : std::as_const(m_ledger)) {
            if (!found.contains(tag) && !m_harness.drive.everHeld(tag))
                problems.append(u"lost: "_qs + QString::fromUtf8(tag));
        }
        for (const QString &error : std::as_const(m_escaped))
            problems.append(u"a pass ended with: "_qs + error);
        QDirIterator ours(m_harness.folder, {u".nimbal-*"_qs}, QDir::AllEntries | QDir::Hidden,
                          QDirIterator::Subdirectories);
        while (ours.hasNext()) {
            const QString path = ours.next();
            if (!path.endsWith(u"/.nimbal-folder"_qs))
                problems.append(u"left behind: "_qs + path);
        }
        return problems.join(u'\n');
    }

    const QStringList &log() const { return m_log; }
    int tags() const { return m_tags; }

private:
    void note(const QString &line) { m_log.append(line); }

    QByteArray tag()
    {
        QByteArray content = "tag-" + QByteArray::number(++m_tags);
        m_ledger.insert(content);
        note(u"   writes "_qs + QString::fromLatin1(content));
        return content;
    }

    template <class List>
    auto pick(const List &list) -> decltype(list.first())
    {
        return list[qsizetype(m_random.bounded(quint32(list.size())))];
    }

    // The folder as it is, through names read byte for byte; links and what lies beneath them
    // left out.
    QMap<QString, QByteArray> diskTree() const
    {
        QMap<QString, QByteArray> tree;
        std::vector<QString> pending{QString()};
        while (!pending.empty()) {
            const QString folder = pending.back();
            pending.pop_back();
            for (const QString &name : namesIn(m_harness.file(folder).chopped(folder.isEmpty() ? 1 : 0))) {
                const QString path = folder.isEmpty() ? name : folder + u'/' + name;
                if (name.startsWith(u".nimbal-"_qs))
                    continue;
                struct stat info {};
                if (::lstat(QFile::encodeName(m_harness.file(path)).constData(), &info) != 0)
                    continue;
                if (S_ISDIR(info.st_mode)) {
                    tree.insert(path, QByteArray());
                    pending.push_back(path);
                } else if (S_ISREG(info.st_mode)) {
                    QFile file(m_harness.file(path));
                    tree.insert(path, file.open(QIODevice::ReadOnly) ? file.readAll() : "<illisible>");
                }
            }
        }
        return tree;
    }

    QStringList diskPaths(bool folders)
    {
        QStringList found;
        const QMap<QString, QByteArray> tree = diskTree();
        for (auto entry = tree.cbegin(); entry != tree.cend(); ++entry) {
            const bool isFolder = QFileInfo(m_harness.file(entry.key())).isDir();
            if (isFolder == folders && !isInsideLink(entry.key()))
                found.append(entry.key());
        }
        return found;
    }

    bool isInsideLink(const QString &path) const
    {
        for (const QString &link : m_links) {
            if (path == link || path.startsWith(link + u'/'))
                return true;
        }
        return false;
    }

    QString someFolder()
    {
        QStringList folders = diskPaths(true);
        folders.append(QString());
        return pick(folders);
    }

    QString newName(bool folder)
    {
        QString name = pick(folder ? folderNames : fileNames);
        if (m_random.bounded(2) == 0)
            name += u'-' + QString::number(m_random.bounded(3));
        return folder ? name : name + u".txt"_qs;
    }

    // By opening it: Qt takes root for someone who reads everything.
    bool isReadable(const QString &path) const
    {
        QFile file(m_harness.file(path));
        return file.open(QIODevice::ReadOnly);
    }

    void writeHere(const QString &path, const QByteArray &content)
    {
        const QMap<QString, QByteArray> before = diskTree();
        if (before.contains(path))
            m_ledger.remove(before.value(path)); // the user's own replacing
        m_harness.write(path, content);
    }

    void local(int kind, int number)
    {
        const QStringList files = diskPaths(false);
        const QString file = files.isEmpty() ? QString() : pick(files);
        switch (kind) {
        case 0:
        case 1: { // a new file
            const QString path = childPath(someFolder(), newName(false));
            if (QFileInfo::exists(m_harness.file(path)))
                return;
            note(u"%1 here: new %2"_qs.arg(number).arg(path));
            writeHere(path, tag());
            break;
        }
        case 2: // edited
            if (file.isEmpty() || !isReadable(file))
                return;
            note(u"%1 here: edit %2"_qs.arg(number).arg(file));
            writeHere(file, tag());
            break;
        case 3: { // appended to, its date put back
            if (file.isEmpty() || !isReadable(file))
                return;
            note(u"%1 here: append keeping the date %2, tag-%3"_qs.arg(number).arg(file).arg(m_tags + 1));
            const QByteArray path = QFile::encodeName(m_harness.file(file));
            struct stat info {};
            ::stat(path.constData(), &info);
            const QByteArray content = m_harness.read(file) + "+tag-" + QByteArray::number(++m_tags);
            m_ledger.remove(m_harness.read(file));
            QFile out(m_harness.file(file));
            if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                out.write(content);
            out.close();
            m_ledger.insert(content);
            const struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
            ::utimensat(AT_FDCWD, path.constData(), times, 0);
            break;
        }
        case 4: // deleted
            if (file.isEmpty())
                return;
            note(u"%1 here: delete %2"_qs.arg(number).arg(file));
            if (!isReadable(file))
                makeReadable(m_harness.file(file)); // read once more, by the test only
            m_ledger.remove(m_harness.read(file));
            m_harness.remove(file);
            break;
        case 5: { // renamed or moved
            if (file.isEmpty() || !isReadable(file))
                return;
            const QString to = childPath(someFolder(), newName(false));
            if (QFileInfo::exists(m_harness.file(to)))
                return;
            note(u"%1 here: move %2 → %3"_qs.arg(number).arg(file, to));
            QFile::rename(m_harness.file(file), m_harness.file(to));
            break;
        }
        case 6: { // a folder
            const QString path = childPath(someFolder(), newName(true));
            note(u"%1 here: folder %2"_qs.arg(number).arg(path));
            QDir().mkpath(m_harness.file(path));
            break;
        }
        case 7: { // a folder renamed
            const QStringList folders = diskPaths(true);
            if (folders.isEmpty())
                return;
            const QString from = pick(folders);
            const QString to = childPath(parentPath(from), newName(true));
            if (QFileInfo::exists(m_harness.file(to)))
                return;
            note(u"%1 here: rename folder %2 → %3"_qs.arg(number).arg(from, to));
            QDir().rename(m_harness.file(from), m_harness.file(to));
            for (const QString &path : QStringList(m_links.begin(), m_links.end())) {
                if (path.startsWith(from + u'/')) {
                    m_links.remove(path);
                    m_links.insert(to + path.sliced(from.size()));
                }
            }
            break;
        }
        case 8: { // a link in place of a file or folder, the original moved out
            QStringList both = files + diskPaths(true);
            if (both.isEmpty() || m_random.bounded(3) != 0)
                return;
            const QString path = pick(both);
            const QString kept = m_outside + u'/' + QString::number(number);
            note(u"%1 here: link in place of %2"_qs.arg(number).arg(path));
            QDir().rename(m_harness.file(path), kept);
            QFile::link(kept, m_harness.file(path));
            m_links.insert(path);
            break;
        }
        default: // unreadable
            if (file.isEmpty() || m_random.bounded(2) != 0)
                return;
            note(u"%1 here: unreadable %2"_qs.arg(number).arg(file));
            makeUnreadable(m_harness.file(file));
            break;
        }
    }

    std::optional<qint64> someRemoteFile()
    {
        QList<qint64> files;
        const QMap<QString, QByteArray> tree = m_harness.drive.tree();
        for (auto entry = tree.cbegin(); entry != tree.cend(); ++entry) {
            const auto id = m_harness.drive.find(entry.key());
            if (id && !m_harness.drive.item(*id).folder)
                files.append(*id);
        }
        if (files.isEmpty())
            return std::nullopt;
        return pick(files);
    }

    qint64 someRemoteFolder()
    {
        QList<qint64> folders{0};
        const QMap<QString, QByteArray> tree = m_harness.drive.tree();
        for (auto entry = tree.cbegin(); entry != tree.cend(); ++entry) {
            const auto id = m_harness.drive.find(entry.key());
            if (id && m_harness.drive.item(*id).folder)
                folders.append(*id);
        }
        return pick(folders);
    }

    bool nameFree(qint64 folder, const QString &name)
    {
        QString path = name;
        for (qint64 up = folder; up != 0; up = m_harness.drive.item(up).parent)
            path = m_harness.drive.item(up).name + u'/' + path;
        return !m_harness.drive.find(path);
    }

    void remote(int kind, int number)
    {
        const std::optional<qint64> file = someRemoteFile();
        switch (kind) {
        case 10: { // a new file
            const qint64 folder = someRemoteFolder();
            const QString name = newName(false);
            if (!nameFree(folder, name))
                return;
            note(u"%1 there: new %2 in %3"_qs.arg(number).arg(name).arg(folder));
            m_harness.drive.addFile(name, tag(), folder);
            break;
        }
        case 11: // edited
            if (!file)
                return;
            note(u"%1 there: edit %2"_qs.arg(number).arg(*file));
            m_harness.drive.write(*file, tag());
            break;
        case 12: // the same bytes saved again: a newer version, then (often) an edit here
            if (!file)
                return;
            note(u"%1 there: saved again %2"_qs.arg(number).arg(*file));
            m_harness.drive.write(*file, m_harness.drive.item(*file).content);
            break;
        case 13: { // renamed or moved
            if (!file)
                return;
            const qint64 folder = someRemoteFolder();
            const QString name = newName(false);
            if (!nameFree(folder, name))
                return;
            note(u"%1 there: move %2 to %3 in %4"_qs.arg(number).arg(*file).arg(name).arg(folder));
            m_harness.drive.rename(*file, name);
            m_harness.drive.move(*file, folder);
            break;
        }
        case 14: { // trashed, a file or a whole folder
            const qint64 folder = someRemoteFolder();
            const qint64 target = folder != 0 && m_random.bounded(3) == 0 ? folder : file.value_or(0);
            if (target == 0)
                return;
            note(u"%1 there: trash %2"_qs.arg(number).arg(target));
            m_harness.drive.trash(target);
            break;
        }
        case 15: { // a folder
            const qint64 parent = someRemoteFolder();
            const QString name = newName(true);
            if (!nameFree(parent, name))
                return;
            note(u"%1 there: folder %2 in %3"_qs.arg(number).arg(name).arg(parent));
            m_harness.drive.addFolder(name, parent);
            break;
        }
        default: // locked while it is open in the online editor
            if (!file)
                return;
            note(u"%1 there: lock %2"_qs.arg(number).arg(*file));
            m_harness.drive.setLocked(*file, true);
            m_locked.insert(*file);
            break;
        }
    }

    void fault(int kind, int number)
    {
        switch (kind) {
        case 17:
            note(u"%1 fault: next upload 503"_qs.arg(number));
            m_harness.drive.failRequests(u"/upload/file"_qs, 503, 3);
            break;
        case 18:
            note(u"%1 fault: next upload 429"_qs.arg(number));
            m_harness.drive.failRequests(u"/upload/file"_qs, 429, 1, {{"Retry-After", "60"}});
            break;
        case 19:
            note(u"%1 fault: next replace 409"_qs.arg(number));
            m_harness.drive.failRequests(u"PUT /api/v1/drive/files/"_qs, 409, 2);
            break;
        case 20: {
            const bool fromStart = m_random.bounded(2) == 0;
            note(u"%1 fault: feed forgotten%2"_qs.arg(number).arg(fromStart ? u", from 0 kept"_qs
                                                                            : QString()));
            m_harness.drive.forgetFeed(fromStart);
            break;
        }
        case 21:
            note(u"%1 restart"_qs.arg(number));
            m_harness.reopen();
            break;
        case 22:
            note(u"%1 fault: unlock all"_qs.arg(number));
            for (const qint64 id : std::as_const(m_locked))
                m_harness.drive.setLocked(id, false);
            m_locked.clear();
            break;
        default: {
            const QString point = pick(crashPoints);
            note(u"%1 fault: kill armed at %2"_qs.arg(number).arg(point));
            CrashPoints::arm(point, 1);
            break;
        }
        }
    }

    EngineHarness m_harness;
    QRandomGenerator m_random;
    QString m_outside; // where the originals of links went
    QSet<QByteArray> m_ledger;
    QSet<QString> m_links;
    QSet<qint64> m_locked;
    QStringList m_log;
    QStringList m_escaped; // errors that ended a pass
    int m_tags = 0;
};

} // namespace

class TestSyncRandom : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void randomStepsConverge();
};

void TestSyncRandom::initTestCase()
{
    honourFilePermissions();
    // The same seed, the same run: hash tables iterate in one order.
    QHashSeed::setDeterministicGlobalSeed();
    // Thousands of steps: the engine's own lines would drown the report of a failure, unless
    // they are asked for (NIMBAL_RANDOM_VERBOSE).
    if (qEnvironmentVariableIsEmpty("NIMBAL_RANDOM_VERBOSE"))
        QLoggingCategory::setFilterRules(u"net.orvelan.nimbal.*=false"_qs);
}

void TestSyncRandom::randomStepsConverge()
{
    bool given = false;
    const quint32 seed = qEnvironmentVariable("NIMBAL_RANDOM_SEED").toUInt(&given);
    const quint32 used = given ? seed : 20260217;
    const int steps = qEnvironmentVariableIntValue("NIMBAL_RANDOM_STEPS") > 0
                          ? qEnvironmentVariableIntValue("NIMBAL_RANDOM_STEPS")
                          : 1200;
    RandomRun run(used);
    for (int number = 1; number <= steps; ++number) {
        run.step(number);
        if (number % 6 == 0)
            run.passes();
    }
    run.quiet();
    const QString problems = run.check();
    if (!problems.isEmpty()) {
        // Too long for a failure's message (and for the test's count of messages): the steps,
        // then what went wrong, straight to the error output.
        const QByteArray report = (run.log().join(u'\n') + u'\n' + problems + u'\n').toUtf8();
        std::fputs(report.constData(), stderr);
    }
    QVERIFY2(problems.isEmpty(), qPrintable(u"seed %1 (NIMBAL_RANDOM_SEED=%1), %2 steps: "
                                            "see the steps and problems above"_qs.arg(used)
                                                .arg(steps)));
    qInfo("seed %u, %d steps, %d versions written", used, steps, run.tags());
}

QTEST_GUILESS_MAIN(TestSyncRandom)
#include "test_sync_random.moc"
