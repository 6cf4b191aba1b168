// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// Which local names never travel to the drive, and what the copy that keeps the user's version
// after a conflict is called.
namespace OrvelanNimbal::SyncNaming {

// System and editor litter: folder metadata, resource forks, office lock and owner files.
// Exact and case-sensitive; `name` is one path component.
bool isExcludedFromSync(QStringView name);

// "Rapport.docx" → "Rapport (conflit Mac 2024-03-05 14h07).docx", the stamp in `timeZone` (the
// user's own, so that it reads like the clock they saw). Only the last extension moves:
// "archive.tar.gz" → "archive.tar (conflit Mac …).gz".
//
// The extension is what follows the last dot, where that dot is a character of its own (not a
// base for combining accents), is not the first character of the name and is not the last.
// So ".profile" and "Notes." have no extension and take the stamp at their end, while
// ".profile.bak" keeps ".bak" last. The same dot splits the name and joins it again, so the base
// and the extension come back whole, decomposed accents included.
QString conflictCopyName(const QString &name, const QDateTime &instant, const QTimeZone &timeZone);
// The same with the word that names this computer's system in place of "Mac" (on Linux,
// "Linux": the user reads which machine kept which version).
QString conflictCopyName(const QString &name, const QDateTime &instant, const QTimeZone &timeZone,
                         QStringView platform);

} // namespace OrvelanNimbal::SyncNaming
