// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/FolderWatcher.h"

#include "Logging.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace OrvelanNimbal::FileProvider {

namespace {

constexpr uint32_t watchedEvents = IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO
                                   | IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF
                                   | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

} // namespace

FolderWatcher::FolderWatcher(QString root, QObject *parent)
    : QObject(parent)
    , m_root(std::move(root))
{}

FolderWatcher::~FolderWatcher()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderWatcher::start()
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        qCWarning(logExtension).noquote()
            << QStringLiteral("Surveillance du dossier impossible (%1) : relecture complète "
                              "toutes les 5 minutes.")
                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
        m_complete = false;
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
    watchTree(QFile::encodeName(m_root));
    return true;
}

void FolderWatcher::watchTree(const QByteArray &top, QSet<QByteArray> *watched)
{
    // A stack rather than recursion: a folder may be as deep as anyone made it.
    std::vector<QByteArray> pending{top};
    while (!pending.empty()) {
        const QByteArray path = std::move(pending.back());
        pending.pop_back();
        const int wd = ::inotify_add_watch(m_fd, path.constData(), watchedEvents);
        if (wd < 0) {
            if (errno == ENOSPC && m_complete) {
                m_complete = false;
                qCWarning(logExtension).noquote()
                    << QStringLiteral("Limite de surveillance atteinte "
                                      "(fs.inotify.max_user_watches) : certains dossiers ne sont "
                                      "vus qu'aux relectures complètes, toutes les 5 minutes.");
                emit rescanNeeded(Rescan::watchLimit);
            }
            continue; // gone meanwhile, or not a folder: nothing to watch
        }
        m_folders.insert(wd, path);
        if (watched)
            watched->insert(path);
        DIR *dir = ::opendir(path.constData());
        if (!dir)
            continue;
        while (const dirent *child = ::readdir(dir)) {
            if (child->d_type != DT_DIR && child->d_type != DT_UNKNOWN)
                continue;
            if (std::strcmp(child->d_name, ".") == 0 || std::strcmp(child->d_name, "..") == 0)
                continue;
            QByteArray childPath = path + '/' + child->d_name;
            struct stat info {};
            if (::lstat(childPath.constData(), &info) == 0 && S_ISDIR(info.st_mode))
                pending.push_back(std::move(childPath));
        }
        ::closedir(dir);
    }
}

bool FolderWatcher::follow(const QByteArray &from, const QByteArray &to)
{
    bool followed = false;
    // A folder renamed inside the tree keeps its watch, and so does everything beneath it: only
    // the paths they are known by change, so that what is made in them later is found.
    const QByteArray prefix = from + '/';
    for (auto folder = m_folders.begin(); folder != m_folders.end(); ++folder) {
        if (folder.value() == from) {
            folder.value() = to;
            followed = true;
        } else if (folder.value().startsWith(prefix)) {
            folder.value() = to + folder.value().sliced(from.size());
        }
    }
    return followed;
}

void FolderWatcher::forget(const QByteArray &path)
{
    const QByteArray prefix = path + '/';
    m_folders.removeIf([&](const QHash<int, QByteArray>::iterator &folder) {
        if (folder.value() != path && !folder.value().startsWith(prefix))
            return false;
        ::inotify_rm_watch(m_fd, folder.key());
        return true;
    });
}

void FolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool any = false;
    bool onlyWritesClosed = true;
    QHash<uint32_t, QByteArray> departed; // a folder's old path, by the cookie of its move
    QSet<QByteArray> folders;             // whose entries changed
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                qCInfo(logExtension) << "File d'événements du dossier débordée : relecture "
                                        "complète.";
                // Renames may have been missed too: every folder is watched again by its path.
                watchTree(QFile::encodeName(m_root));
                emit rescanNeeded(Rescan::overflow);
                continue;
            }
            if (event->mask & IN_IGNORED) {
                m_folders.remove(event->wd);
                continue;
            }
            any = true;
            const auto parent = m_folders.constFind(event->wd);
            if (parent != m_folders.cend())
                folders.insert(*parent);
            const bool isFile = !(event->mask & IN_ISDIR) && event->len > 0;
            // A file moved into place moved no bytes: it is as whole as its writer left it, like
            // one closed after writing; the read lease still tells whether someone writes it now.
            if (isFile && (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO))
                && parent != m_folders.cend()) {
                const QString path = QFile::decodeName(*parent + '/' + event->name);
                emit closedAfterWriting(path.sliced(qMin(m_root.size() + 1, path.size())));
                continue;
            }
            // A file made here is written next: its closing says when it is whole. A file moved
            // away is the other half of a rename, or gone whole.
            onlyWritesClosed =
                onlyWritesClosed && isFile && (event->mask & (IN_CREATE | IN_MOVED_FROM));
            if (!(event->mask & IN_ISDIR) || event->len == 0 || parent == m_folders.cend())
                continue;
            const QByteArray path = *parent + '/' + event->name;
            if (event->mask & IN_MOVED_FROM) {
                departed.insert(event->cookie, path);
            } else if (event->mask & IN_MOVED_TO) {
                const auto from = departed.constFind(event->cookie);
                // A folder renamed before its watch took (made, then renamed at once) is
                // watched at its new place, as one moved in.
                const bool followed = from != departed.cend() && follow(*from, path);
                if (from != departed.cend())
                    departed.erase(from);
                if (!followed) {
                    watchTree(path, &folders); // moved in from outside, with all it holds
                }
            } else if (event->mask & IN_CREATE) {
                watchTree(path, &folders); // made here: watched, then reported, so nothing is
                                           // missed
            }
        }
    }
    // Moved out of the folder: nothing there is ours to watch any more.
    for (const QByteArray &path : std::as_const(departed))
        forget(path);
    if (!any)
        return;
    QSet<QString> relative;
    for (const QByteArray &folder : std::as_const(folders)) {
        const QString path = QFile::decodeName(folder);
        relative.insert(path.size() > m_root.size() ? path.sliced(m_root.size() + 1) : QString());
    }
    emit foldersChanged(relative);
    emit changed(onlyWritesClosed);
}

} // namespace OrvelanNimbal::FileProvider
