// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <memory>

struct evp_md_ctx_st;

// The content hash sent with every upload and compared with the service's: SHA-256 of the whole
// file, 64 lower-case hexadecimal digits. The file is streamed in blocks through one reused
// buffer, so files far larger than memory hash in constant space.
namespace OrvelanNimbal::ContentHasher {

inline constexpr qint64 blockSize = 4 * 1024 * 1024;

// The same hash over bytes that arrive piece by piece (a download being written).
class Digest {
public:
    Digest();
    void add(QByteArrayView bytes);
    // The hash of everything added; the digest is spent afterwards.
    QString finish();

private:
    std::unique_ptr<evp_md_ctx_st, void (*)(evp_md_ctx_st *)> m_context;
};

// For worker threads: blocks until the whole file is read. Throws FileError when the file
// cannot be opened or read, and OperationCancelled at the next block once `cancel` fires.
QString sha256Blocking(const QUrl &file, const CancellationToken &cancel = {});

// The same on the shared thread pool; the caller's thread stays free while the file is read.
QCoro::Task<QString> sha256(QUrl file, CancellationToken cancel = {});

} // namespace OrvelanNimbal::ContentHasher
