// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace OrvelanNimbal::Service {

struct SchemaModule;

class Connection;

// The update feed and the release files are served outside the API, under this path.
inline const std::string updatesPrefix = "/updates";

// A published release, as the feed describes it.
struct Release {
    QString version;
    QString displayVersion;
    std::optional<QString> minimumSystemVersion;
    QString notes;
    std::optional<QString> notesLink;
    std::int64_t publishedAt = 0;
    QString fileName;
    std::int64_t length = 0;
    QString type;
    QString signature;
};

// Where release files are kept: "updates" in the data directory.
std::filesystem::path releaseFolder(const std::filesystem::path &dataDirectory);

// A name a release file may have, and may be asked for by: letters, digits, ".", "_", "+" and
// "-", not starting with a dot, at most 200 characters. Nothing else can reach outside the
// folder.
bool isReleaseFileName(const QString &name);

// Records `release`, in place of an earlier release of the same version.
void recordRelease(Connection &connection, const Release &release);
// The releases, newest publication first.
std::vector<Release> publishedReleases(Connection &connection);

// The table of published releases.
SchemaModule releasesSchema();

} // namespace OrvelanNimbal::Service
