// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// Names come from the network: before one becomes a path on disk it must be a single, valid
// component that cannot climb out of its folder nor collide with the extension's own files.
namespace OrvelanNimbal::FileProvider::SafeNames {

// Why a name from the drive is not placed on disk, as the journal and the log say it.
enum class Refusal {
    empty,           // "" (a folder without a name would be its parent)
    dotName,         // "." or ".."
    separator,       // holds "/" or NUL
    badEncoding,     // not a whole Unicode text (a lone surrogate)
    tooLong,         // more than 255 bytes of UTF-8, which no Linux file system takes
    reserved,        // the extension's own names (".nimbal-…")
    notSynchronised, // system and editor litter the drive never synchronises
};

// Nothing when the name may be used as it is.
std::optional<Refusal> check(const QString &name);
QString describe(Refusal refusal);

// The key under which two names of one folder are the same file on a folder that folds case or
// composes accents: the name composed (NFC) then case-folded.
QString collisionKey(const QString &name);

// Names of the extension's own files inside a domain's folder: all of one form, hidden and
// beginning with ".nimbal-", so that a scan never takes one for the user's.
inline const QString reservedPrefix = QStringLiteral(".nimbal-");
inline const QString folderMarkerName = QStringLiteral(".nimbal-folder");
// Where a download is written beside its place: ".nimbal-<id>.part".
QString partialDownloadName(qint64 fileID);
// Where an item waits while its place is freed (two items trading places): ".nimbal-move-f12".
QString parkingName(bool folder, qint64 id);
// The two files that tell whether a folder folds names, made and removed at once.
QString foldingProbeName(const QString &tag, const QString &variant);

// What a temporary of ours holds. Downloads and probes are only ever copies and are removed
// when a run that was cut short left them; a parked item is the user's and is put back.
enum class Temporary { none, disposable, parked };
Temporary temporaryKind(QStringView name);

} // namespace OrvelanNimbal::FileProvider::SafeNames
