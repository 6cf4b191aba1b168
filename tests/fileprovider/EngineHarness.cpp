// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineHarness.h"

#include "disk/LocalFolder.h"
#include "disk/SafeNames.h"

#include <QDir>
#include <QDirIterator>

#include <fcntl.h>
#include <sys/stat.h>

namespace OrvelanNimbal::Testing {

using namespace FileProvider;

namespace {

const QString marker = QStringLiteral("folder-of-the-test");

} // namespace

EngineHarness::EngineHarness()
    : folder(directory.filePath(u"Nimbal/compte@nimbal.test"_qs))
{
    client.signIn({u"compte@nimbal.test"_qs, u"token"_qs, u"password"_qs});
    // An hour ahead of the files the test writes, so that they are settled when a pass looks.
    client.clock->setCurrentDateTime(QDateTime::currentDateTimeUtc().addSecs(3600));
    client.transport->setHandler(
        [this](const HttpRequest &request) { return drive.answer(request); });
    QDir().mkpath(folder);
    LocalFolder(folder).writeMarker(marker);
    reopen();
}

void EngineHarness::reopen()
{
    engine.reset();
    // The daemon's watcher, so that passes look at what changed as the daemon's do: a change
    // a pass over part of the folder would miss fails the test that made it.
    scope = PassScope::everything();
    watcher = std::make_unique<FolderWatcher>(folder);
    QObject::connect(watcher.get(), &FolderWatcher::foldersChanged, watcher.get(),
                     [this](const QSet<QString> &folders) {
                         scope.merge(PassScope::changedIn(folders));
                     });
    QObject::connect(watcher.get(), &FolderWatcher::rescanNeeded, watcher.get(),
                     [this] { scope = PassScope::everything(); });
    if (!watcher->start() || !watcher->isComplete())
        qFatal("the test's folder cannot be watched");
    auto journal = std::make_unique<Journal>(journalFile());
    if (journal->folderID().isEmpty()) {
        Journal::Batch batch;
        batch.setFolderID(marker);
        journal->commit(batch);
    }
    SyncEngine::Settings settings{DriveAPI(client.client), downloads,     folder,       marker,
                                  itemStoreFile(),         summaryFile(), client.clock, 2};
    engine = std::make_unique<SyncEngine>(std::move(settings), std::move(journal));
}

ItemTable EngineHarness::journalItems() const
{
    return Journal(journalFile()).items();
}

std::optional<qint64> EngineHarness::cursor() const
{
    return Journal(journalFile()).cursor();
}

SyncEngine::PassOutcome EngineHarness::pass()
{
    watcher->readNow();
    return runAsync(engine->runPass(std::exchange(scope, PassScope::changedIn({})), {}));
}

int EngineHarness::settle(int limit)
{
    for (int passes = 1; passes <= limit; ++passes) {
        const SyncEngine::PassOutcome outcome = pass();
        if (!outcome.again && !outcome.retryIn)
            return passes;
        if (outcome.retryIn)
            client.clock->advance(*outcome.retryIn + std::chrono::milliseconds(1));
    }
    return limit + 1;
}

void EngineHarness::remove(const QString &relative) const
{
    QFile::remove(file(relative));
}

QByteArray EngineHarness::read(const QString &relative) const
{
    QFile input(file(relative));
    return input.open(QIODevice::ReadOnly) ? input.readAll() : QByteArray("<absent>");
}

void EngineHarness::write(const QString &relative, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(file(relative)).path());
    QFile output(file(relative));
    output.open(QIODevice::WriteOnly | QIODevice::Truncate);
    output.write(content);
    output.close();
    // Written before the engine's clock says now, however the test set it: settled by the time
    // a pass looks. Each write gets a date of its own, as a real one would.
    const qint64 settled = (client.clock->currentDateTime().toMSecsSinceEpoch() - 2000) * 1000000;
    if (QFileInfo(output).lastModified().toMSecsSinceEpoch() * 1000000 > settled) {
        const qint64 date = settled + ++writes;
        const struct timespec times[2] = {{0, UTIME_OMIT}, {date / 1000000000, date % 1000000000}};
        ::utimensat(AT_FDCWD, QFile::encodeName(file(relative)).constData(), times, 0);
    }
}

QStringList EngineHarness::tree() const
{
    QStringList paths;
    QDirIterator entries(folder,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = QDir(folder).relativeFilePath(entries.next());
        if (path != SafeNames::folderMarkerName)
            paths.append(path);
    }
    paths.sort();
    return paths;
}

} // namespace OrvelanNimbal::Testing
