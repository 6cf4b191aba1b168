// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "client/ApiClient.h"
#include "models/DriveModels.h"
#include "sync/ReplacePrecondition.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace OrvelanNimbal {

// The typed face of the drive service: each operation names one endpoint, sends it through the
// shared ApiClient and turns the answer into models. A plain value without state; copies are
// interchangeable. Every operation copies what it needs before its first wait, so the DriveAPI
// it was called on may go away while it runs.
class DriveAPI {
public:
    explicit DriveAPI(std::shared_ptr<ApiClient> client);

    const std::shared_ptr<ApiClient> &client() const { return m_client; }

    // Cumulative bytes sent or received; may be called from any thread; never decreases.
    using Progress = std::function<void(qint64 bytes)>;

    // --- Reading ---
    // Changes since a cursor; a cursor the service no longer knows gives cursorExpired.
    QCoro::Task<DriveChanges> changes(qint64 since, CancellationToken cancel = {}) const;
    // Folders under a parent; the top-level folders without one.
    QCoro::Task<std::vector<DriveFolder>> folders(std::optional<qint64> parentID,
                                                  CancellationToken cancel = {}) const;
    // Files of a folder (at most 100,000, no paging); the top-level files without one.
    QCoro::Task<std::vector<DriveFile>> files(std::optional<qint64> folderID,
                                              CancellationToken cancel = {}) const;
    QCoro::Task<DriveQuota> quota(CancellationToken cancel = {}) const;

    // --- Changing the tree ---
    QCoro::Task<qint64> createFolder(QString name, std::optional<qint64> parentID,
                                     CancellationToken cancel = {}) const;
    QCoro::Task<> renameFile(qint64 id, QString newName, CancellationToken cancel = {}) const;
    // `parentID`: nullopt leaves the parent as it is; an empty inner value moves the folder to
    // the root; an id moves it there. Nothing to change sends nothing.
    QCoro::Task<> updateFolder(qint64 id, std::optional<QString> name,
                               std::optional<std::optional<qint64>> parentID,
                               CancellationToken cancel = {}) const;
    QCoro::Task<> move(std::vector<qint64> fileIDs, std::vector<qint64> folderIDs,
                       std::optional<qint64> targetFolderID, CancellationToken cancel = {}) const;
    QCoro::Task<> trash(std::vector<qint64> fileIDs, std::vector<qint64> folderIDs,
                        CancellationToken cancel = {}) const;
    // A download grant; an archived file gives DriveError::archived without a request.
    QCoro::Task<DriveDownload> contentURL(DriveFile file, CancellationToken cancel = {}) const;
    // The presigned address of the preferred thumbnail; nothing for an archived file or a file
    // without thumbnails.
    QCoro::Task<std::optional<QUrl>> thumbnailURL(DriveFile file,
                                                  CancellationToken cancel = {}) const;

    // --- Downloading ---
    // Fetches the content a download grant points to into `destination` (a local path), straight
    // to disk and never whole in memory: written under a hidden temporary name in the
    // destination's folder, checked against the size and the SHA-256 the grant states, flushed
    // to disk, then renamed into place, replacing any file there. Gives the bytes received.
    // A transport failure or a 5xx answer starts it again from the first byte, with the
    // pipeline's retries and waits; another answer is DriveError::http with its status (403
    // when the grant has expired: ask for a new one). A short content, or one whose hash
    // differs, is DriveError::transport. FileError when the destination's folder refuses the
    // file. Failed or cancelled, it leaves the destination untouched and nothing behind.
    // `progress` gets the bytes received so far (they start again from 0 with a new attempt).
    // Any number may run at once; the transport runs a few at a time per server and queues
    // the rest.
    QCoro::Task<qint64> downloadContent(DriveDownload grant, QString destination, Progress progress,
                                        CancellationToken cancel = {}) const;
    // The same without the flush, for a caller that makes many downloads durable at once (one
    // sync of the file system for a whole batch) before it relies on any of them: until then,
    // a crash may leave the destination with less than its content.
    QCoro::Task<qint64> downloadContentUnflushed(DriveDownload grant, QString destination,
                                                 Progress progress,
                                                 CancellationToken cancel = {}) const;
    // The file's download grant, then its content as downloadContent() fetches it. Gives the
    // file refreshed with what the grant states and the bytes received.
    QCoro::Task<DriveFile> download(DriveFile file, QString destination, Progress progress,
                                    CancellationToken cancel = {}) const;

    // --- Uploading ---
    struct LocalContent {
        QUrl url;            // the local file
        qint64 size = 0;     // as the caller measured it: decides the path and bounds the parts
        // SHA-256, lower-case hexadecimal. Left empty, it is made from the content as it is
        // sent: part by part for an upload in parts (read once), first for a direct one.
        QString contentHash;
        QString contentType; // MIME type
        // Called once an upload in parts is opened, before its first part, with what abandoning
        // it takes (abortUpload()): a caller that records them can abandon an upload a crash cut
        // short. A std::exception it throws abandons the upload and ends the operation.
        std::function<void(const QString &uploadID, const QString &storageKey)> onPartsOpened = {};
    };

    static constexpr qint64 directUploadLimit = 16777216; // 16 MiB: larger goes part by part
    // 8 MiB, or more for files so large that 8 MiB parts would exceed 10,000 parts.
    static qint64 partSize(qint64 contentSize);

    // Up to directUploadLimit the content goes in one request; larger, or refused as too large,
    // it goes in parts straight to storage and is abandoned if a part fails. Either way the
    // file is read as it is sent, a block ahead, never whole in memory. Exactly
    // `content.size` bytes are read: a file that shrank meanwhile ends with a transport error.
    // An unreadable local file gives FileError; a cancel, OperationCancelled.
    QCoro::Task<DriveFile> createFile(QString name, std::optional<qint64> parentID,
                                      LocalContent content, Progress progress,
                                      CancellationToken cancel = {}) const;
    QCoro::Task<DriveFile> replaceContent(DriveFile file, LocalContent content,
                                          ReplacePrecondition precondition, Progress progress,
                                          CancellationToken cancel = {}) const;
    // Abandons an upload in parts: the service drops what it stored of it. An upload it no
    // longer knows (finished, or already abandoned) gives DriveError::notFound.
    QCoro::Task<> abortUpload(QString uploadID, QString storageKey,
                              CancellationToken cancel = {}) const;

private:
    std::shared_ptr<ApiClient> m_client;
};

// One stored part of a multipart upload, its ETag exactly as the storage sent it.
struct UploadedPart {
    int number = 0;
    QString etag;

    friend bool operator==(const UploadedPart &, const UploadedPart &) = default;
};

} // namespace OrvelanNimbal
