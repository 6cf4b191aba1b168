// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/SafeNames.h"

#include "sync/SyncNaming.h"

namespace OrvelanNimbal::FileProvider::SafeNames {

namespace {

constexpr qsizetype maxNameBytes = 255;

} // namespace

std::optional<Refusal> check(const QString &name)
{
    if (name.isEmpty())
        return Refusal::empty;
    if (name == u"." || name == u"..")
        return Refusal::dotName;
    if (name.contains(u'/') || name.contains(QChar(u'\0')))
        return Refusal::separator;
    if (!name.isValidUtf16())
        return Refusal::badEncoding;
    if (name.toUtf8().size() > maxNameBytes)
        return Refusal::tooLong;
    if (name.startsWith(reservedPrefix))
        return Refusal::reserved;
    if (SyncNaming::isExcludedFromSync(name))
        return Refusal::notSynchronised;
    return std::nullopt;
}

QString describe(Refusal refusal)
{
    switch (refusal) {
    case Refusal::empty:
        return QStringLiteral("nom vide");
    case Refusal::dotName:
        return QStringLiteral("nom « . » ou « .. »");
    case Refusal::separator:
        return QStringLiteral("nom contenant « / » ou un caractère nul");
    case Refusal::badEncoding:
        return QStringLiteral("nom qui n'est pas de l'UTF-8 valide");
    case Refusal::tooLong:
        return QStringLiteral("nom de plus de 255 octets");
    case Refusal::reserved:
        return QStringLiteral("nom réservé à l'extension");
    case Refusal::notSynchronised:
        return QStringLiteral("nom jamais synchronisé");
    }
    return {};
}

QString collisionKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

QString partialDownloadName(qint64 fileID)
{
    return reservedPrefix + QString::number(fileID) + QStringLiteral(".part");
}

bool isPartialDownloadName(QStringView name)
{
    return name.startsWith(reservedPrefix) && name.endsWith(u".part");
}

} // namespace OrvelanNimbal::FileProvider::SafeNames
