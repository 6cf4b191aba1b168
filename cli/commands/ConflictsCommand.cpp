// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExtensionClient.h"
#include "Session.h"
#include "commands/Commands.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvelanNimbal::CommandLine::Commands {

QCoro::Task<ExitStatus> conflicts(Invocation invocation, std::shared_ptr<Console> console)
{
    const QString account = co_await signedInAccount(makeClient());
    const QList<QVariantMap> recorded = co_await ExtensionClient().conflicts(account);
    if (invocation.has(QStringLiteral("--json"))) {
        QJsonArray list;
        for (const QVariantMap &conflict : recorded)
            list.append(QJsonObject{
                {QStringLiteral("originalName"),
                 conflict.value(QStringLiteral("originalName")).toString()},
                {QStringLiteral("copyName"), conflict.value(QStringLiteral("copyName")).toString()},
                {QStringLiteral("date"),
                 QDateTime::fromSecsSinceEpoch(conflict.value(QStringLiteral("date")).toLongLong(),
                                               Qt::UTC)
                     .toString(Qt::ISODate)}});
        console->out() << QJsonDocument(QJsonObject{{QStringLiteral("account"), account},
                                                    {QStringLiteral("conflicts"), list}})
                              .toJson(QJsonDocument::Indented);
        co_return ExitStatus::done;
    }
    if (recorded.isEmpty())
        console->say(QStringLiteral("Aucun conflit."));
    for (const QVariantMap &conflict : recorded) {
        const QDateTime date = QDateTime::fromSecsSinceEpoch(
            conflict.value(QStringLiteral("date")).toLongLong(), Qt::UTC);
        console->out() << date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                       << QStringLiteral("  « %1 » : votre version est enregistrée sous « %2 »")
                              .arg(conflict.value(QStringLiteral("originalName")).toString(),
                                   conflict.value(QStringLiteral("copyName")).toString())
                       << '\n';
    }
    co_return ExitStatus::done;
}

} // namespace OrvelanNimbal::CommandLine::Commands
