// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"
#include "transfer/ContentDownloads.h"

namespace OrvelanNimbal::FileProvider {

// Downloads through the client's own transport, so that the extension's transfers share its
// connections, its proxy settings and its limit per server; the content goes straight to disk
// and is hashed on the way.
class ContentDownloader final : public ContentDownloads {
public:
    explicit ContentDownloader(DriveAPI drive);

    QCoro::Task<> download(QUrl url, QString destination, Expected expected, Progress progress,
                           CancellationToken cancel) override;

private:
    DriveAPI m_drive;
};

} // namespace OrvelanNimbal::FileProvider
