// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "models/StorageClass.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

namespace OrvelanNimbal {

struct DriveDownload;

// A file of the drive, as the service lists it.
struct DriveFile {
    qint64 id = 0;
    std::optional<qint64> parentFolderID; // absent: the drive root
    QString name;
    QString storageKey; // the service's storage path of the content; may be empty
    qint64 size = 0;
    std::optional<QString> contentHash; // never empty
    QDateTime modifiedAt;               // UTC
    bool isTrashed = false;
    StorageClass storageClass = StorageClass::standard;
    std::optional<QString> thumbnailPath;  // one key or a JSON array of keys; never empty
    std::optional<qint64> uploadTimestamp; // seconds since 1970: the version stamp

    bool isSynchronizable() const;
    QStringList thumbnailKeys() const;
    std::optional<QString> preferredThumbnailKey() const;
    // Size, hash and upload time from a download grant (or the bytes really received).
    DriveFile refreshed(const DriveDownload &download, std::optional<qint64> receivedBytes) const;
    DriveFile with(const QString &newName, std::optional<qint64> newParentID) const;

    friend bool operator==(const DriveFile &, const DriveFile &) = default;
};

struct DriveFolder {
    qint64 id = 0;
    std::optional<qint64> parentFolderID; // absent: the drive root
    QString name;
    QDateTime modifiedAt; // UTC
    bool isTrashed = false;

    bool isSynchronizable() const { return !isTrashed; }

    friend bool operator==(const DriveFolder &, const DriveFolder &) = default;
};

// One page of the change feed and the cursor to ask from next time.
struct DriveChanges {
    qint64 cursor = 0;
    std::vector<DriveFolder> folders;
    std::vector<DriveFile> files;

    friend bool operator==(const DriveChanges &, const DriveChanges &) = default;
};

// Storage use, in megabytes as the service counts them.
struct DriveQuota {
    double usedMegabytes = 0;
    double maxMegabytes = 0;

    // Used over maximum, within 0 and 1; 0 when there is no maximum.
    double fraction() const;

    friend bool operator==(const DriveQuota &, const DriveQuota &) = default;
};

// A time-limited grant to fetch a file's content straight from storage.
struct DriveDownload {
    QUrl url; // absolute, http or https
    qint64 expiresIn = 0;
    std::optional<qint64> fileSize;
    std::optional<QString> contentHash; // never empty
    std::optional<qint64> uploadTimestamp;

    // Throws DriveError::transport "téléchargement incomplet : …" when a known, non-negative
    // length differs from the bytes received.
    static void checkReceived(qint64 bytes, std::optional<qint64> contentLength);

    friend bool operator==(const DriveDownload &, const DriveDownload &) = default;
};

} // namespace OrvelanNimbal
