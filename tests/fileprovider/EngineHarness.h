// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClientHarness.h"
#include "FakeDrive.h"
#include "disk/FolderWatcher.h"
#include "engine/SyncEngine.h"

#include <QTemporaryDir>

namespace OrvelanNimbal::Testing {

// A sync engine over the fake drive, a real folder in a temporary directory and a journal beside
// it. reopen() starts a new engine on the same journal and folder, as a restarted daemon does.
struct EngineHarness {
    ClientHarness client;
    FakeDrive drive;
    std::shared_ptr<FakeDownloads> downloads = std::make_shared<FakeDownloads>(drive);
    QTemporaryDir directory;
    QString folder;
    std::unique_ptr<FileProvider::SyncEngine> engine;
    std::unique_ptr<FileProvider::FolderWatcher> watcher;
    FileProvider::PassScope scope; // what the watcher saw change since the last pass

    EngineHarness();
    void reopen();
    // A pass over what changed since the last one, as the daemon runs them (over the whole
    // folder after reopen()).
    FileProvider::SyncEngine::PassOutcome pass();
    // Passes until the engine has nothing more to do now (at most `limit`), the clock moved past
    // each wait it asked for. Gives how many passes ran.
    int settle(int limit = 10);

    QString file(const QString &relative) const { return folder + u'/' + relative; }
    QByteArray read(const QString &relative) const;
    void write(const QString &relative, const QByteArray &content);
    void remove(const QString &relative) const;
    // Every path under the folder, sorted, the marker left out.
    QStringList tree() const;
    qint64 writes = 0; // how many files write() made, each given a date of its own
    QUrl summaryFile() const { return QUrl::fromLocalFile(directory.filePath(u"summary.json"_qs)); }
    QString journalFile() const { return directory.filePath(u"journal.sqlite"_qs); }
    // What the journal holds now, read by a connection of its own.
    FileProvider::ItemTable journalItems() const;
    std::optional<qint64> cursor() const;
    QUrl itemStoreFile() const
    {
        return QUrl::fromLocalFile(directory.filePath(u"item-store.json"_qs));
    }
};

} // namespace OrvelanNimbal::Testing
