// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/ContentDownloader.h"

#include "models/DriveModels.h"

namespace OrvelanNimbal::FileProvider {

ContentDownloader::ContentDownloader(DriveAPI drive)
    : m_drive(std::move(drive))
{}

QCoro::Task<> ContentDownloader::download(QUrl url, QString destination, Expected expected,
                                          Progress progress, CancellationToken cancel)
{
    DriveDownload grant;
    grant.url = std::move(url);
    grant.fileSize = expected.size;
    grant.contentHash = std::move(expected.sha256);
    DriveAPI::Progress received;
    if (progress)
        received = [progress = std::move(progress)](qint64 bytes) { progress(bytes); };
    co_await m_drive.downloadContentUnflushed(std::move(grant), std::move(destination),
                                     std::move(received), std::move(cancel));
}

} // namespace OrvelanNimbal::FileProvider
