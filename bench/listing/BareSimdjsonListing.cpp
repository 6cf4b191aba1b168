// SPDX-License-Identifier: GPL-3.0-or-later
#include "BareSimdjsonListing.h"

#include <simdjson.h>

namespace Bench {

namespace {

void copyString(simdjson::ondemand::value value, std::string &out)
{
    if (!value.is_null())
        out = std::string_view(value.get_string());
}

void copyInteger(simdjson::ondemand::value value, int64_t &out)
{
    if (!value.is_null())
        out = value.get_int64();
}

} // namespace

std::vector<PlainFile> plainFilesWithSimdjson(const QByteArray &json)
{
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document =
        parser.iterate(json.constData(), size_t(json.size()), size_t(json.capacity()));
    std::vector<PlainFile> files;
    for (simdjson::ondemand::object object : document.get_array()) {
        PlainFile file;
        for (simdjson::ondemand::field field : object) {
            const std::string_view key = field.unescaped_key();
            simdjson::ondemand::value value = field.value();
            if (key == "id")
                file.id = value.get_int64();
            else if (key == "id_folder")
                copyInteger(value, file.folderID);
            else if (key == "file_name")
                file.name = std::string_view(value.get_string());
            else if (key == "file_path")
                copyString(value, file.path);
            else if (key == "file_size")
                file.size = value.get_double();
            else if (key == "content_hash")
                copyString(value, file.contentHash);
            else if (key == "date_modified")
                copyInteger(value, file.dateModified);
            else if (key == "date_upload")
                copyInteger(value, file.dateUpload);
            else if (key == "to_delete")
                copyInteger(value, file.toDelete);
            else if (key == "storage_class")
                copyString(value, file.storageClass);
            else if (key == "file_miniatures_path")
                copyString(value, file.thumbnails);
        }
        files.push_back(std::move(file));
    }
    return files;
}

} // namespace Bench
