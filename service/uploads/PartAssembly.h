// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "uploads/UploadSessions.h"

#include <QJsonArray>
#include <QString>

#include <filesystem>
#include <memory>
#include <vector>

namespace OrvelanNimbal::Service {

class PartStore;
class StreamedFile;
class UploadDigests;

// A part as the client lists it when it completes an upload.
struct ListedPart {
    int number = 0;
    QString etag;
};

// The "parts" member of a completion: [{"PartNumber", "ETag"}…]. 400 when malformed.
std::vector<ListedPart> listedParts(const QJsonArray &parts);

// The content of a completed upload, finished and ready to be kept.
struct AssembledContent {
    std::filesystem::path file;
    std::int64_t size = 0;
    QString hash; // SHA-256
    std::unique_ptr<StreamedFile> copy; // the file, when it had to be copied: deleted unless kept
    AssembledContent();
    AssembledContent(AssembledContent &&) noexcept;
    ~AssembledContent();
};

// The listed parts, in their order, as one content. Throws DriveFailure (400) unless the list
// is in increasing order and every part was stored whole with that ETag ("invalid_parts"), and
// the parts add up to the announced size ("size_mismatch"). Stored parts left out of the list
// are not part of the content.
//
// When the list is every part cut as suggested, each already in its place, the upload's content
// file is the content: nothing is copied, and its hash is the digest taken as the parts came
// (read again only when they came otherwise). Any other list is copied, part after part, into
// a new file in `copyFolder`, hashed on the way.
AssembledContent assembleParts(const PartStore &store, UploadDigests &digests,
                               const UploadSession &upload, const std::vector<StoredPart> &stored,
                               const std::vector<ListedPart> &listed,
                               const std::filesystem::path &copyFolder);

} // namespace OrvelanNimbal::Service
