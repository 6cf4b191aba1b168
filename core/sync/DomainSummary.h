// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "models/DriveModels.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace OrvelanNimbal {

// What the file-provider extension leaves for the application about the drive it synchronises:
// which of the user's edits ended in a conflict copy, and which files are archived (available
// from the web only). One file per account in the shared container; the extension writes it, the
// application reads it, with atomic replacement as their only coordination.
struct DomainSummary {
    struct Conflict {
        QString originalName; // the item the user edited
        QString copyName;     // where the user's version was kept
        QDateTime date;       // when the conflict was recorded

        friend bool operator==(const Conflict &, const Conflict &) = default;
    };

    // Older conflicts are forgotten: the user is only ever shown the newest.
    static constexpr qsizetype conflictLimit = 10;

    QSet<qint64> archivedFileIDs; // not trashed and not in the standard storage class
    QList<Conflict> conflicts;    // newest first, at most conflictLimit

    // Adds a conflict at the front, dropping the oldest beyond the limit.
    void recordConflict(QString originalName, QString copyName, QDateTime at);
    // Brings the archived set up to date for the listed files; files not listed are left alone.
    void apply(const std::vector<DriveFile> &files);

    qsizetype archivedFileCount() const { return archivedFileIDs.size(); }
    // « 3 fichiers archivés, disponibles depuis le web. »; nothing when there are none.
    std::optional<QString> archivedLabel() const;
    // « Conflit sur « X » : votre version est enregistrée sous « Y ». » for the newest conflict.
    std::optional<QString> lastConflictLabel() const;

    // The summary in the file, or nothing when there is no URL, no file, or the file does not
    // read as a summary. Never fails: a damaged file is an empty report, not an error.
    static std::optional<DomainSummary> load(const std::optional<QUrl> &from);
    // Replaces the file atomically (a reader sees the old or the new one whole), readable by the
    // user only. Missing folders are not created; any failure leaves the old file in place and
    // is not reported.
    void save(const std::optional<QUrl> &to) const;

    // The file's bytes: {"archivedFileIDs":[…],"conflicts":[{"originalName","copyName","date"}]}
    // with dates in seconds since 2001-01-01 UTC, as the extension has always written them.
    QByteArray toJson() const;
    // Throws DriveError::decoding when the bytes are not a summary.
    static DomainSummary fromJson(const QByteArray &json);

    friend bool operator==(const DomainSummary &, const DomainSummary &) = default;
};

} // namespace OrvelanNimbal
