// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/DownloadTarget_p.h"
#include "async/OffMainThread.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace OrvelanNimbal::Downloads {

struct DownloadTarget::State {
    QString destination;
    QTemporaryFile file;
    ContentHasher::Digest digest;
};

DownloadTarget::DownloadTarget(const QString &destination)
    : m_state(std::make_shared<State>())
{
    const QFileInfo info(destination);
    m_state->destination = info.absoluteFilePath();
    // Hidden, and named after the file it becomes, so that a look at the folder tells. A hidden
    // destination keeps its own leading dot: a caller that names its temporaries with a prefix
    // of its own (and sweeps them) finds this one under the same prefix.
    const QString hidden = info.fileName().startsWith(u'.') ? info.fileName()
                                                             : u'.' + info.fileName();
    m_state->file.setFileTemplate(info.absolutePath() + u'/' + hidden
                                  + QStringLiteral(".XXXXXX.nimbal-download"));
}

// Still there when not committed: QTemporaryFile removes it.
DownloadTarget::~DownloadTarget() = default;

namespace {

void append(DownloadTarget::State &state, const QByteArray &bytes)
{
    // Made with the first bytes, on the pool: making a file costs the file system more than
    // writing a small one, and many downloads make theirs at once.
    if (!state.file.isOpen()) {
        if (!state.file.open())
            throw FileError(state.destination, state.file.errorString());
        // A temporary file is private to its owner; the file it becomes is an ordinary one.
        state.file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                  | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    if (state.file.write(bytes) != bytes.size())
        throw FileError(state.destination, state.file.errorString());
    state.digest.add(bytes);
}

} // namespace

QCoro::Task<> DownloadTarget::write(QByteArray bytes)
{
    if (m_pending.isEmpty())
        m_pending = std::move(bytes);
    else
        m_pending += bytes;
    if (m_pending.size() < writeBytes)
        co_return;
    auto work = [state = m_state, bytes = std::exchange(m_pending, {})] {
        append(*state, bytes);
        return true;
    };
    co_await runOffMainThread(std::move(work));
}

QCoro::Task<> DownloadTarget::commit(std::optional<QString> expectedHash, Flush flush)
{
    auto work = [state = m_state, rest = std::exchange(m_pending, {}),
                 expectedHash = std::move(expectedHash), flush] {
        append(*state, rest);
        const QString received = state->digest.finish();
        if (expectedHash && expectedHash->compare(received, Qt::CaseInsensitive) != 0)
            throw DriveError::transport(
                QStringLiteral("contenu reçu différent de celui du Nimbal (SHA-256)"));
        // On the disk before it takes the destination's name: after a crash the destination
        // holds either its old content or the whole new one.
        if (!state->file.flush()
            || (flush == Flush::now && ::fdatasync(state->file.handle()) != 0))
            throw FileError(state->destination, state->file.errorString());
        if (std::rename(QFile::encodeName(state->file.fileName()).constData(),
                        QFile::encodeName(state->destination).constData())
            != 0)
            throw FileError(state->destination, QString::fromLocal8Bit(std::strerror(errno)));
        state->file.setAutoRemove(false);
        state->file.close();
        return true;
    };
    co_await runOffMainThread(std::move(work));
}

} // namespace OrvelanNimbal::Downloads
