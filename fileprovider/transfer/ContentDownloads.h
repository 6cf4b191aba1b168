// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace OrvelanNimbal::FileProvider {

// Fetching a file's content from a pre-signed storage address into a file of ours. The engine
// downloads through this role only, so that the transfer itself can be swapped (the tests hand
// in content from memory).
class ContentDownloads {
public:
    struct Expected {
        std::optional<qint64> size;
        std::optional<QString> sha256; // lower-case hexadecimal
    };
    // Bytes received so far, never decreasing.
    using Progress = std::function<void(qint64 received)>;

    virtual ~ContentDownloads() = default;

    // Streams the content into `destination` (created or truncated) and checks its size and
    // SHA-256 against `expected`; making it durable is the caller's (the engine syncs a batch of
    // downloads at once). On any failure, the destination is removed:
    // DriveError (http, transport, or a transport error naming the mismatch), FileError, or
    // OperationCancelled.
    virtual QCoro::Task<> download(QUrl url, QString destination, Expected expected,
                                   Progress progress, CancellationToken cancel) = 0;
};

} // namespace OrvelanNimbal::FileProvider
