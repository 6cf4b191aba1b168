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

// The copy that keeps a user's version beside the one that took its name:
// "Rapport.docx" → "Rapport (conflit Linux 2024-03-05 14h07).docx", where `system` names the
// computer that kept it (the platform's own word, from the table of words that name it) and the
// stamp is in `timeZone` (the user's own, so that it reads like the clock they saw). Only the
// last extension moves: "archive.tar.gz" → "archive.tar (conflit Linux …).gz".
//
// The extension is what follows the last dot, where that dot is a character of its own (not a
// base for combining accents), is not the first character of the name and is not the last.
// So ".profile" and "Notes." have no extension and take the stamp at their end, while
// ".profile.bak" keeps ".bak" last. The same dot splits the name and joins it again, so the base
// and the extension come back whole, decomposed accents included.
QString conflictCopyName(const QString &name, const QDateTime &instant, const QTimeZone &timeZone,
                         QStringView system);

// The name a conflict copy was made from ("Rapport (conflit Linux 2024-03-05 14h07).docx" →
// "Rapport.docx"), so that the copy of a copy is named after the original rather than
// collecting suffixes; the name itself when it is not a copy. A number after `system` (a copy
// made in the same minute as another) is part of the suffix.
QString conflictCopyOrigin(const QString &name, QStringView system);

} // namespace OrvelanNimbal::SyncNaming
