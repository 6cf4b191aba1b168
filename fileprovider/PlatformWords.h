// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The extension's words that name the computer's system, in one place: where the Mac's texts
// say "Mac", this desktop says what it is.
namespace OrvelanNimbal::FileProvider::PlatformWords {

// "Rapport (conflit Linux 2024-03-05 14h07).docx"
inline const QString conflictSystem = QStringLiteral("Linux");

// The folder beside a removed domain's that keeps what was not sent yet:
// "~/Nimbal/<account> (non synchronisé)".
inline const QString unsentSuffix = QStringLiteral(" (non synchronisé)");

} // namespace OrvelanNimbal::FileProvider::PlatformWords
