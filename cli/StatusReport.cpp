// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusReport.h"

#include "models/AmountTexts.h"
#include "sync/PauseText.h"

#include <QJsonValue>

namespace OrvelanNimbal::CommandLine {

namespace {

QJsonValue isoOrNull(const std::optional<QDateTime> &date)
{
    return date ? QJsonValue(date->toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QJsonValue leftOrNull(const std::optional<StatusReport::Left> &left)
{
    if (!left)
        return {};
    return QJsonObject{{QStringLiteral("items"), left->items},
                       {QStringLiteral("bytes"), left->bytes}};
}

QString leftText(const std::optional<StatusReport::Left> &left)
{
    if (!left)
        return QStringLiteral("inconnu");
    if (left->items == 0)
        return QStringLiteral("rien");
    const QString items = left->items == 1 ? QStringLiteral("1 élément")
                                           : QStringLiteral("%1 éléments").arg(left->items);
    return left->bytes > 0 ? items + QStringLiteral(" (%1)").arg(AmountTexts::size(left->bytes))
                           : items;
}

QString localTime(const QDateTime &date)
{
    return date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QString StatusReport::state() const
{
    if (!signedIn)
        return QStringLiteral("signedOut");
    if (!extensionReachable)
        return QStringLiteral("extensionUnreachable");
    if (!extensionEnabled || !domainRegistered || !domainEnabled)
        return QStringLiteral("needsApproval");
    if (paused)
        return QStringLiteral("paused");
    const bool busy = (toSend && toSend->items > 0) || (toReceive && toReceive->items > 0);
    return busy ? QStringLiteral("syncing") : QStringLiteral("ready");
}

QString StatusReport::stateText() const
{
    const QString current = state();
    if (current == u"signedOut")
        return QStringLiteral("Non connecté");
    if (current == u"extensionUnreachable")
        return QStringLiteral("Service de synchronisation injoignable");
    if (current == u"needsApproval")
        return QStringLiteral("En attente d'autorisation");
    if (current == u"paused")
        return pauseText(pausedUntil, QDateTime::currentDateTime());
    if (current == u"syncing")
        return QStringLiteral("Synchronisation en cours");
    return QStringLiteral("Nimbal à jour");
}

QJsonObject StatusReport::toJson() const
{
    const QJsonValue none;
    return {
        {QStringLiteral("signedIn"), signedIn},
        {QStringLiteral("account"), signedIn ? QJsonValue(account) : none},
        {QStringLiteral("state"), state()},
        {QStringLiteral("stateText"), stateText()},
        {QStringLiteral("extension"),
         QJsonObject{{QStringLiteral("reachable"), extensionReachable},
                     {QStringLiteral("enabled"), extensionEnabled},
                     {QStringLiteral("domainRegistered"), domainRegistered},
                     {QStringLiteral("domainEnabled"), domainEnabled},
                     {QStringLiteral("folder"), folder.isEmpty() ? none : QJsonValue(folder)}}},
        {QStringLiteral("paused"), paused},
        {QStringLiteral("pausedUntil"), paused ? isoOrNull(pausedUntil) : none},
        {QStringLiteral("lastSync"), isoOrNull(lastSync)},
        {QStringLiteral("toSend"), leftOrNull(toSend)},
        {QStringLiteral("toReceive"), leftOrNull(toReceive)},
        {QStringLiteral("serviceReachable"), serviceReachable},
        {QStringLiteral("quota"),
         quota ? QJsonValue(QJsonObject{{QStringLiteral("usedMegabytes"), quota->usedMegabytes},
                                        {QStringLiteral("maxMegabytes"), quota->maxMegabytes}})
               : none},
        {QStringLiteral("conflicts"), qint64(conflicts)},
        {QStringLiteral("lastConflict"), lastConflict ? QJsonValue(*lastConflict) : none},
        {QStringLiteral("archived"), qint64(archived)},
    };
}

QString StatusReport::toText() const
{
    QString text;
    const auto line = [&text](const QString &label, const QString &value) {
        text += label + QStringLiteral(" : ") + value + u'\n';
    };
    line(QStringLiteral("État"), stateText());
    if (!signedIn)
        return text;
    line(QStringLiteral("Compte"), account);
    if (!folder.isEmpty())
        line(QStringLiteral("Dossier"), folder);
    line(QStringLiteral("Service de synchronisation"),
         !extensionReachable ? QStringLiteral("injoignable")
         : !extensionEnabled ? QStringLiteral("désactivé")
         : !domainRegistered ? QStringLiteral("aucun dossier pour ce compte")
         : !domainEnabled    ? QStringLiteral("dossier du compte désactivé")
                             : QStringLiteral("actif"));
    line(QStringLiteral("Nimbal"),
         serviceReachable ? QStringLiteral("joignable") : QStringLiteral("injoignable"));
    line(QStringLiteral("À envoyer"), leftText(toSend));
    line(QStringLiteral("À recevoir"), leftText(toReceive));
    line(QStringLiteral("Dernière synchronisation"),
         lastSync ? localTime(*lastSync) : QStringLiteral("jamais"));
    line(QStringLiteral("Conflits"),
         lastConflict ? QStringLiteral("%1 — %2").arg(conflicts).arg(*lastConflict)
                      : QString::number(conflicts));
    line(QStringLiteral("Archivés"), archivedText.value_or(QStringLiteral("aucun")));
    if (quota)
        line(QStringLiteral("Stockage"), QStringLiteral("%1 utilisés sur %2")
                                             .arg(AmountTexts::gigabytes(quota->usedMegabytes, 1),
                                                  AmountTexts::gigabytes(quota->maxMegabytes, 0)));
    return text;
}

} // namespace OrvelanNimbal::CommandLine
