// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace OrvelanNimbal::Service {

class StreamedFile;
class UploadBody;

// A direct upload's multipart/form-data body: one file part named "file", written to disk as it
// arrives, and short text fields beside it.
struct DirectForm {
    QString fileName;
    QString contentType;
    std::map<std::string, QString> fields;

    std::optional<QString> field(const std::string &name) const;
    // A decimal field; 400 naming it when it is not a whole number.
    std::optional<std::int64_t> wholeField(const std::string &name) const;
};

// Reads the whole body, the file part into `file` (not finished). Throws DriveFailure: 400 for
// a body that is not such a form, 413 once the file part exceeds `contentLimit` bytes (the rest
// is read and dropped).
DirectForm readDirectForm(UploadBody &body, StreamedFile &file, std::int64_t contentLimit);

} // namespace OrvelanNimbal::Service
