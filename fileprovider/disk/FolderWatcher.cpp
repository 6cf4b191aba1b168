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

void FolderWatcher::watchTree(const QByteArray &top)
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

void FolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool any = false;
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
                emit rescanNeeded(Rescan::overflow);
                continue;
            }
            if (event->mask & IN_IGNORED) {
                m_folders.remove(event->wd);
                continue;
            }
            any = true;
            // A folder that arrives (made, or moved in) is watched with all it already holds.
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))
                && event->len > 0) {
                const auto folder = m_folders.constFind(event->wd);
                if (folder != m_folders.cend())
                    watchTree(*folder + '/' + event->name);
            }
        }
    }
    if (any)
        emit changed();
}

} // namespace OrvelanNimbal::FileProvider
