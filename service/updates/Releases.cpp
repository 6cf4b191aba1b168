// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/Releases.h"

#include "foundation/Database.h"

#include <QRegularExpression>

namespace OrvelanNimbal::Service {

std::filesystem::path releaseFolder(const std::filesystem::path &dataDirectory)
{
    return dataDirectory / "updates";
}

bool isReleaseFileName(const QString &name)
{
    static const QRegularExpression allowed(
        QStringLiteral("^[A-Za-z0-9_+-][A-Za-z0-9._+-]{0,199}$"));
    return allowed.match(name).hasMatch();
}

void recordRelease(Connection &connection, const Release &release)
{
    connection.exec("DELETE FROM releases WHERE version = ?", release.version);
    connection.exec("INSERT INTO releases (version, display_version, minimum_system_version, "
                    "notes, notes_link, published_at, file_name, length, type, signature) "
                    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                    release.version, release.displayVersion, release.minimumSystemVersion,
                    release.notes, release.notesLink, release.publishedAt, release.fileName,
                    release.length, release.type, release.signature);
}

std::vector<Release> publishedReleases(Connection &connection)
{
    Statement rows = connection.query(
        "SELECT version, display_version, minimum_system_version, notes, notes_link, "
        "published_at, file_name, length, type, signature FROM releases "
        "ORDER BY published_at DESC, id DESC");
    return readAll(rows, [](Statement &row) {
        Release release;
        release.version = row.text(0);
        release.displayVersion = row.text(1);
        if (!row.isNull(2))
            release.minimumSystemVersion = row.text(2);
        release.notes = row.text(3);
        if (!row.isNull(4))
            release.notesLink = row.text(4);
        release.publishedAt = row.int64(5);
        release.fileName = row.text(6);
        release.length = row.int64(7);
        release.type = row.text(8);
        release.signature = row.text(9);
        return release;
    });
}

} // namespace OrvelanNimbal::Service
