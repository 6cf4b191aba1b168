// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transfer/ContentDownloads.h"

namespace OrvelanNimbal::FileProvider {

// Downloads over the thread's network access manager, written to the file as the bytes arrive
// (at most a mebibyte waits in memory) and hashed on the way, so that nothing is read twice.
class ContentDownloader final : public ContentDownloads {
public:
    QCoro::Task<> download(QUrl url, QString destination, Expected expected, Progress progress,
                           CancellationToken cancel) override;
};

} // namespace OrvelanNimbal::FileProvider
