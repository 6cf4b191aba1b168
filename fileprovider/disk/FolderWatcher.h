// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>

#include <memory>

namespace OrvelanNimbal::FileProvider {

// Tells when something changed in a domain's folder, through inotify: every folder is watched,
// and a folder that appears is watched then reported, so that what was written into it before
// the watch took is seen by the scan that follows. A folder renamed inside the tree keeps its
// watches; only the paths they are known by follow. Events are only hints (the scan against the
// journal decides what changed, and tells our own writes from the user's); when the kernel
// dropped some (its queue overflowed) or could not watch every folder (the per-user watch
// limit), the whole folder must be scanned again, and `rescanNeeded` says why.
class FolderWatcher : public QObject {
    Q_OBJECT

public:
    enum class Rescan { overflow, watchLimit, unavailable };

    explicit FolderWatcher(QString root, QObject *parent = nullptr);
    ~FolderWatcher() override;

    // Watches the folder and everything beneath it; false when inotify is not available here.
    bool start();
    // Whether every folder is watched; otherwise only rescans see changes.
    bool isComplete() const { return m_complete; }
    // Reads the events the kernel holds now, at once rather than at the next turn of the event
    // loop.
    void readNow() { readEvents(); }

signals:
    // `onlyWritesClosed`: every change was a file made or written, then closed by its writer,
    // or a file moved; nothing is left to settle.
    void changed(bool onlyWritesClosed);
    // The folders (relative to the root, "" for the root itself) whose entries changed, each
    // folder made or moved in among them: what a scan of part of the tree reads.
    void foldersChanged(const QSet<QString> &folders);
    // A file (relative to the root) closed by a program that had it open for writing, or moved
    // into place (from outside or within the folder).
    void closedAfterWriting(const QString &path);
    void rescanNeeded(OrvelanNimbal::FileProvider::FolderWatcher::Rescan why);

private:
    // Watches `path` and every folder beneath it; `watched` gains them.
    void watchTree(const QByteArray &path, QSet<QByteArray> *watched = nullptr);
    // False when nothing was watched at `from`.
    bool follow(const QByteArray &from, const QByteArray &to);
    void forget(const QByteArray &path);
    void readEvents();

    QString m_root;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    // Watch descriptor → the folder's absolute path now: renames are followed by descriptor.
    QHash<int, QByteArray> m_folders;
    bool m_complete = true;
};

} // namespace OrvelanNimbal::FileProvider
