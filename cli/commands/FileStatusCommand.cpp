// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExtensionClient.h"
#include "Session.h"
#include "commands/Commands.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvelanNimbal::CommandLine::Commands {

namespace {

QString stateText(const QString &state, const QString &reason)
{
    static const QHash<QString, QString> states{
        {QStringLiteral("synced"), QStringLiteral("synchronisé")},
        {QStringLiteral("pending-download"), QStringLiteral("en attente de réception")},
        {QStringLiteral("uploading"), QStringLiteral("envoi en cours")},
        {QStringLiteral("pending-upload"), QStringLiteral("en attente d'envoi")},
        {QStringLiteral("conflict"), QStringLiteral("copie de conflit")},
        {QStringLiteral("excluded"), QStringLiteral("laissé de côté")},
        {QStringLiteral("unknown"), QStringLiteral("inconnu (ni sur le disque ni sur le Nimbal)")},
    };
    static const QHash<QString, QString> reasons{
        {QStringLiteral("being-written"), QStringLiteral("en cours d'écriture")},
        {QStringLiteral("archived"), QStringLiteral("archivé, disponible depuis le web")},
        {QStringLiteral("excluded-name"), QStringLiteral("nom jamais synchronisé")},
        {QStringLiteral("unreadable"), QStringLiteral("illisible")},
        {QStringLiteral("refused"), QStringLiteral("refusé par le Nimbal")},
        {QStringLiteral("special-file"), QStringLiteral("ni fichier ni dossier")},
    };
    const QString text = states.value(state, state);
    return reason.isEmpty() ? text
                            : QStringLiteral("%1 (%2)").arg(text, reasons.value(reason, reason));
}

// The path as the user named it, made absolute without following links: a link in the folder
// is judged as the link it is.
QString absolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

QCoro::Task<ExitStatus> fileStatus(Invocation invocation, std::shared_ptr<Console> console)
{
    const QString account = co_await signedInAccount(makeClient());
    ExtensionClient extension;
    const QString folder = QDir::cleanPath(co_await extension.userVisibleFolder(account));
    const bool json = invocation.has(QStringLiteral("--json"));
    ExitStatus status = ExitStatus::done;
    QJsonArray answers;
    for (const QString &given : std::as_const(invocation.arguments)) {
        const QString path = absolute(given);
        if (path != folder && !path.startsWith(folder + u'/')) {
            console->say(QStringLiteral("« %1 » n'est pas dans le dossier du Nimbal (%2).")
                             .arg(given, folder));
            status = ExitStatus::usage;
            continue;
        }
        const QString relative = path.mid(folder.size() + 1);
        const auto [state, reason] = co_await extension.itemStatus(account, relative);
        if (json)
            answers.append(QJsonObject{
                {QStringLiteral("path"), given},
                {QStringLiteral("state"), state},
                {QStringLiteral("reason"), reason.isEmpty() ? QJsonValue() : QJsonValue(reason)}});
        else
            console->out() << given << QStringLiteral(" : ") << stateText(state, reason) << '\n';
    }
    if (json)
        console->out() << QJsonDocument(answers).toJson(QJsonDocument::Indented);
    co_return status;
}

} // namespace OrvelanNimbal::CommandLine::Commands
