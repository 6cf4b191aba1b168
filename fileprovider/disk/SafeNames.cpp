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

QString parkingName(bool folder, qint64 id)
{
    return reservedPrefix + (folder ? QStringLiteral("move-d") : QStringLiteral("move-f"))
           + QString::number(id);
}

QString foldingProbeName(const QString &tag, const QString &variant)
{
    return reservedPrefix + QStringLiteral("probe-") + tag + u'-' + variant;
}

Temporary temporaryKind(QStringView name)
{
    // The download's own temporary, named after its destination, may also be one of an earlier
    // layout that began with a second dot.
    if (name.startsWith(u'.') && name.endsWith(u".nimbal-download"))
        return Temporary::disposable;
    if (!name.startsWith(reservedPrefix))
        return Temporary::none;
    const QStringView rest = name.sliced(reservedPrefix.size());
    if (rest.startsWith(u"move-"))
        return Temporary::parked;
    if (rest.startsWith(u"probe-"))
        return Temporary::disposable;
    // ".nimbal-<id>.part"; anything else of that prefix is nobody's business but the user's.
    const qsizetype dot = rest.indexOf(u'.');
    bool number = false;
    if (dot > 0)
        static_cast<void>(rest.first(dot).toLongLong(&number));
    return number && rest.sliced(dot) == u".part" ? Temporary::disposable : Temporary::none;
}

} // namespace OrvelanNimbal::FileProvider::SafeNames
