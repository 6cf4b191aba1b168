// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <memory>
#include <optional>

namespace OrvelanNimbal::Downloads {

// Where a download is written until it is known to be whole: a hidden file of its own in the
// destination's folder (so that the final rename stays on one file system and is atomic),
// hashed as it is written. Only commit() makes it the destination; a target dropped before
// that removes its file, so a failed or cancelled download leaves nothing behind and never
// touches a file already at the destination.
//
// The file is made with the first bytes; it, the writes, the flush and the rename run on the
// thread pool, one at a time: the caller awaits each before the next. Bytes are handed over a
// mebibyte or more at a time, so that a download costs few trips to the pool, and a small file
// exactly one.
class DownloadTarget {
public:
    explicit DownloadTarget(const QString &destination);
    DownloadTarget(const DownloadTarget &) = delete;
    DownloadTarget &operator=(const DownloadTarget &) = delete;
    ~DownloadTarget();

    // Appends `bytes`. FileError when the disk refuses them, or the destination's folder a new
    // file.
    QCoro::Task<> write(QByteArray bytes);
    static constexpr qsizetype writeBytes = 1024 * 1024;
    // Whether commit() flushes the content to the disk itself, or leaves it to a caller that
    // syncs many files at once.
    enum class Flush { now, byCaller };
    // Checks the content's SHA-256 against `expectedHash` when there is one
    // (DriveError::transport when it differs), flushes it to the disk (see Flush), then renames
    // it into place, replacing what was there. FileError when the disk refuses.
    QCoro::Task<> commit(std::optional<QString> expectedHash, Flush flush = Flush::now);

    struct State; // the file, its hash so far and its destination; used on the pool

private:
    std::shared_ptr<State> m_state; // shared with the work running on the pool
    QByteArray m_pending;           // not yet handed to the pool
};

} // namespace OrvelanNimbal::Downloads
