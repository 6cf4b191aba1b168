// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "updates/Appcast.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace OrvelanNimbal {

class ApiClient;

// The release feed at `feedURL`, fetched through the client's pipeline for addresses outside the
// API (retried like any request) and read. Throws UpdateError::feedUnreachable or
// ::feedUnreadable, or OperationCancelled.
QCoro::Task<QList<AppcastItem>> fetchAppcast(std::shared_ptr<ApiClient> client, QUrl feedURL,
                                             CancellationToken cancel);

// Fetches a release of `length` bytes into `destination` (created or emptied), one range
// request of a few mebibytes at a time through the client's pipeline for addresses outside the
// API, so that each piece is retried on its own and `progress` hears the bytes received after
// each. A server that ignores ranges and sends everything at once is taken as it is.
//
// Writes what arrives and nothing more: whether it is the whole release, and the release
// itself, is for the verification to say. Throws UpdateError::downloadFailed, or
// OperationCancelled; the destination is then left as it is for the caller to remove.
QCoro::Task<> downloadEnclosure(std::shared_ptr<ApiClient> client, QUrl url, qint64 length,
                                QString destination, std::function<void(qint64)> progress,
                                CancellationToken cancel);

} // namespace OrvelanNimbal
