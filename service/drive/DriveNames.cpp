// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveNames.h"

#include "drive/DriveFailure.h"

#include <algorithm>

namespace OrvelanNimbal::Service::DriveNames {

void check(const QString &name)
{
    if (name.trimmed().isEmpty())
        throw DriveFailure::invalidName(QStringLiteral("un nom ne peut pas être vide"));
    if (name == u"." || name == u"..")
        throw DriveFailure::invalidName(QStringLiteral("« . » et « .. » ne sont pas des noms"));
    if (name.contains(u'/'))
        throw DriveFailure::invalidName(QStringLiteral("un nom ne peut pas contenir « / »"));
    const bool hasControl = std::any_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f;
    });
    if (hasControl)
        throw DriveFailure::invalidName(
            QStringLiteral("un nom ne peut pas contenir de caractère de contrôle"));
    if (!name.isValidUtf16())
        throw DriveFailure::invalidName(QStringLiteral("un nom doit être du texte Unicode valide"));
    if (name.toUtf8().size() > maxNameBytes)
        throw DriveFailure::invalidName(
            QStringLiteral("un nom ne peut pas dépasser %1 octets").arg(maxNameBytes));
}

} // namespace OrvelanNimbal::Service::DriveNames
