// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace OrvelanNimbal::FileProvider {

// Tells when something changed in a domain's folder, through inotify: every folder is watched,
// and a folder that appears is watched then reported, so that what was written into it before
// the watch took is seen by the scan that follows. Events are only hints (the scan against the
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

signals:
    void changed();
    void rescanNeeded(OrvelanNimbal::FileProvider::FolderWatcher::Rescan why);

private:
    void watchTree(const QByteArray &path);
    void readEvents();

    QString m_root;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QHash<int, QByteArray> m_folders; // watch descriptor → absolute path
    bool m_complete = true;
};

} // namespace OrvelanNimbal::FileProvider
