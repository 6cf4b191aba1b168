// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "commands/Commands.h"

#include <climits>

namespace OrvelanNimbal::CommandLine {

namespace {

using Runner = QCoro::Task<ExitStatus> (*)(Invocation, std::shared_ptr<Console>);

struct CommandSpec {
    QString name;
    QStringList flags;
    QStringList valued; // options followed by a value
    int fewest = 0;
    int most = 0;
    QString synopsis;
    QString description;
    Runner runner = nullptr;
};

const QString helpFlag = QStringLiteral("--help");

const std::vector<CommandSpec> &commands()
{
    static const std::vector<CommandSpec> list{
        {QStringLiteral("status"),
         {QStringLiteral("--json")},
         {},
         0,
         0,
         QStringLiteral("nimbal status [--json]"),
         QStringLiteral(
             "Dit où en est le compte connecté : le service de synchronisation, ce qui reste à\n"
             "envoyer et à recevoir, la dernière synchronisation, les conflits, les fichiers\n"
             "archivés et le stockage. --json donne le même état en JSON (voir nimbal(1)).\n"
             "Statut 2 si personne n'est connecté, 5 si le service de synchronisation est\n"
             "injoignable."),
         &Commands::status},
        {QStringLiteral("signin"),
         {QStringLiteral("--password-stdin"), QStringLiteral("--recovery"),
          QStringLiteral("--remember")},
         {},
         1,
         1,
         QStringLiteral("nimbal signin ADRESSE [--password-stdin] [--recovery] [--remember]"),
         QStringLiteral(
             "Connecte le compte ADRESSE sur cet ordinateur, comme le panneau : le mot de passe\n"
             "est demandé au terminal sans être affiché (ou lu sur la première ligne de l'entrée\n"
             "standard avec --password-stdin), puis le code de l'application\n"
             "d'authentification, ou un code de secours avec --recovery. Sans terminal, le code\n"
             "est lu sur la ligne suivante de l'entrée standard.\n"
             "  --remember   Se souvenir de cet ordinateur pendant 30 jours\n"
             "Aucun mot de passe ni code n'est accepté en argument."),
         &Commands::signIn},
        {QStringLiteral("signout"),
         {},
         {},
         0,
         0,
         QStringLiteral("nimbal signout"),
         QStringLiteral("Déconnecte le compte, retire son dossier (ce qui n'a pas été envoyé est\n"
                        "mis de côté à côté) et efface la session du trousseau, comme le panneau."),
         &Commands::signOut},
        {QStringLiteral("pause"),
         {},
         {QStringLiteral("--for")},
         0,
         0,
         QStringLiteral("nimbal pause [--for DURÉE]"),
         QStringLiteral(
             "Met la synchronisation en pause : rien n'est envoyé ni reçu, les changements\n"
             "attendent la reprise. Avec --for (90, 45s, 10m, 2h, 1h30m…), la pause finit\n"
             "d'elle-même, même après un redémarrage."),
         &Commands::pause},
        {QStringLiteral("resume"),
         {},
         {},
         0,
         0,
         QStringLiteral("nimbal resume"),
         QStringLiteral("Reprend la synchronisation : ce qui a attendu part et arrive."),
         &Commands::resume},
        {QStringLiteral("wait"),
         {},
         {QStringLiteral("--timeout")},
         0,
         0,
         QStringLiteral("nimbal wait [--timeout DURÉE]"),
         QStringLiteral("Attend qu'il ne reste rien à faire. Statut 0 quand le Nimbal est à jour,\n"
                        "3 si la durée donnée passe avant, 4 pendant une pause."),
         &Commands::wait},
        {QStringLiteral("conflicts"),
         {QStringLiteral("--json")},
         {},
         0,
         0,
         QStringLiteral("nimbal conflicts [--json]"),
         QStringLiteral("Les conflits enregistrés, du plus récent au plus ancien : le fichier,\n"
                        "le nom de la copie qui garde votre version, et la date."),
         &Commands::conflicts},
        {QStringLiteral("filestatus"),
         {QStringLiteral("--json")},
         {},
         1,
         INT_MAX,
         QStringLiteral("nimbal filestatus [--json] CHEMIN…"),
         QStringLiteral(
             "L'état de chaque chemin du dossier du Nimbal : synchronisé, en attente d'envoi,\n"
             "envoi en cours, en attente de réception, copie de conflit, ou laissé de côté\n"
             "(archivé, nom jamais synchronisé, illisible, refusé), et pourquoi. Un dossier a\n"
             "l'état le moins bon de son contenu."),
         &Commands::fileStatus},
        {QStringLiteral("log"),
         {QStringLiteral("-f"), QStringLiteral("--follow")},
         {},
         0,
         0,
         QStringLiteral("nimbal log [-f]"),
         QStringLiteral("Le journal du service de synchronisation et de l'application, secrets\n"
                        "masqués. Avec -f, les lignes suivantes à mesure qu'elles viennent."),
         &Commands::log},
    };
    return list;
}

const CommandSpec *find(const QString &name)
{
    for (const CommandSpec &spec : commands()) {
        if (spec.name == name)
            return &spec;
    }
    return nullptr;
}

} // namespace

Invocation parse(const QStringList &arguments)
{
    Invocation invocation;
    if (arguments.isEmpty())
        throw CommandFailure::usage(help({}));
    invocation.command = arguments.constFirst();
    if (invocation.command == helpFlag || invocation.command == u"help") {
        invocation.flags.insert(helpFlag);
        invocation.command = arguments.value(1);
        if (!invocation.command.isEmpty() && !find(invocation.command))
            throw CommandFailure::usage(QStringLiteral("Commande inconnue : « %1 ».\n\n%2")
                                            .arg(invocation.command, help({})));
        return invocation;
    }
    const CommandSpec *spec = find(invocation.command);
    if (!spec)
        throw CommandFailure::usage(
            QStringLiteral("Commande inconnue : « %1 ».\n\n%2").arg(invocation.command, help({})));
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            invocation.arguments.append(argument);
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals < 0 ? argument : argument.first(equals);
        if (name == helpFlag || spec->flags.contains(name)) {
            if (equals >= 0)
                throw CommandFailure::usage(
                    QStringLiteral("L'option %1 ne prend pas de valeur.").arg(name));
            invocation.flags.insert(name);
        } else if (spec->valued.contains(name)) {
            if (equals >= 0)
                invocation.values.insert(name, argument.mid(equals + 1));
            else if (i + 1 < arguments.size())
                invocation.values.insert(name, arguments[++i]);
            else
                throw CommandFailure::usage(
                    QStringLiteral("L'option %1 attend une valeur.").arg(name));
        } else {
            throw CommandFailure::usage(QStringLiteral("Option inconnue pour %1 : « %2 ».\n\n%3")
                                            .arg(spec->name, argument, help(spec->name)));
        }
    }
    if (invocation.has(helpFlag))
        return invocation;
    const qsizetype count = invocation.arguments.size();
    if (count < spec->fewest || count > spec->most)
        throw CommandFailure::usage(QStringLiteral("Arguments inattendus pour %1.\n\n%2")
                                        .arg(spec->name, help(spec->name)));
    return invocation;
}

QString help(const QString &command)
{
    if (const CommandSpec *spec = find(command))
        return QStringLiteral("Usage : %1\n\n%2").arg(spec->synopsis, spec->description);
    QString text = QStringLiteral("Usage : nimbal COMMANDE [OPTIONS]\n\n"
                                  "Le Nimbal d'Orvelan depuis un terminal. Commandes :\n");
    for (const CommandSpec &spec : commands())
        text += QStringLiteral("  %1\n").arg(spec.synopsis);
    text += QStringLiteral(
        "\nnimbal COMMANDE --help décrit une commande ; voir aussi nimbal(1).\n"
        "Statuts de sortie : 0 fait, 1 usage, 2 non connecté, 3 échec (un nouvel essai peut\n"
        "réussir), 4 refusé, 5 bus de session, trousseau ou service de synchronisation\n"
        "injoignable.");
    return text;
}

QCoro::Task<int> run(QStringList arguments, std::shared_ptr<Console> console)
{
    try {
        const Invocation invocation = parse(arguments);
        if (invocation.has(helpFlag)) {
            console->out() << help(invocation.command) << '\n';
            co_return int(ExitStatus::done);
        }
        const ExitStatus status = co_await find(invocation.command)->runner(invocation, console);
        console->out().flush();
        co_return int(status);
    } catch (const CommandFailure &failure) {
        console->out().flush();
        console->say(failure.message());
        co_return int(failure.status());
    }
}

} // namespace OrvelanNimbal::CommandLine
