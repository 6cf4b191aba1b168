// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "uploads/UploadSessions.h"

#include <QJsonArray>
#include <QString>

#include <vector>

namespace OrvelanNimbal::Service {

class PartStore;
class StreamedFile;

// A part as the client lists it when it completes an upload.
struct ListedPart {
    int number = 0;
    QString etag;
};

// The "parts" member of a completion: [{"PartNumber", "ETag"}…]. 400 when malformed.
std::vector<ListedPart> listedParts(const QJsonArray &parts);

// Writes the listed parts, in their order, into `into`, a piece at a time. Throws DriveFailure
// (400) unless the list is in increasing order and every part was stored whole with that ETag
// ("invalid_parts"), and the parts add up to the announced size ("size_mismatch"). Stored parts
// left out of the list are not part of the content.
void assembleParts(const PartStore &store, const UploadSession &upload,
                   const std::vector<StoredPart> &stored, const std::vector<ListedPart> &listed,
                   StreamedFile &into);

} // namespace OrvelanNimbal::Service
