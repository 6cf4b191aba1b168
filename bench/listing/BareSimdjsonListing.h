// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

namespace Bench {

// The same fields in plain C++ types, without models, checks of required keys or conversions.
struct PlainFile {
    int64_t id = 0;
    int64_t folderID = 0;
    std::string name;
    std::string path;
    double size = 0;
    std::string contentHash;
    int64_t dateModified = 0;
    int64_t dateUpload = 0;
    int64_t toDelete = 0;
    std::string storageClass;
    std::string thumbnails;
};

// The listing read with the bare parser, the way its documentation shows: the floor of what
// any decoder over it can reach.
std::vector<PlainFile> plainFilesWithSimdjson(const QByteArray &json);

} // namespace Bench
