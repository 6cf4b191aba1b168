// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors/DriveError.h"
#include "models/DriveModels.h"
#include "models/WireConversions.h"

#include <cmath>
#include <limits>

namespace OrvelanNimbal {

void DriveDownload::checkReceived(qint64 bytes, std::optional<qint64> contentLength)
{
    if (contentLength && *contentLength >= 0 && *contentLength != bytes)
        throw DriveError::transport(
            QStringLiteral("téléchargement incomplet : %1 octets reçus sur %2")
                .arg(bytes)
                .arg(*contentLength));
}

DriveFile DriveFile::refreshed(const DriveDownload &download,
                               std::optional<qint64> receivedBytes) const
{
    DriveFile copy = *this;
    copy.size = receivedBytes.value_or(download.fileSize.value_or(size));
    if (download.contentHash)
        copy.contentHash = download.contentHash;
    if (download.uploadTimestamp)
        copy.uploadTimestamp = download.uploadTimestamp;
    return copy;
}

double DriveQuota::fraction() const
{
    if (maxMegabytes <= 0)
        return 0;
    return std::clamp(usedMegabytes / maxMegabytes, 0.0, 1.0);
}

qint64 wholeBytes(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::round(value); // halves away from zero
    if (rounded >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (rounded <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(rounded);
}

QDateTime instantFromEpochSeconds(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

DriveQuota quotaFromWire(const QuotaDTO &dto)
{
    return {dto.quotaUsed.value_or(0), dto.quotaMax.value_or(0)};
}

DriveDownload downloadFromWire(const DownloadURLDTO &dto)
{
    const QUrl url(dto.url, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || !url.scheme().startsWith(u"http"))
        throw DriveError::decoding(QStringLiteral("URL de téléchargement invalide"));
    DriveDownload download;
    download.url = url;
    download.expiresIn = dto.expiresIn.value_or(0);
    if (dto.fileSize)
        download.fileSize = wholeBytes(*dto.fileSize);
    if (dto.contentHash && !dto.contentHash->isEmpty())
        download.contentHash = dto.contentHash;
    download.uploadTimestamp = dto.dateUpload;
    return download;
}

} // namespace OrvelanNimbal
