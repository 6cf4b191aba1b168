// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "Logging.h"
#include "bus/FileProviderBus.h"
#include "config/LogFile.h"
#include "config/OrvelanNimbal.h"
#include "config/ServiceEndpoints.h"
#include "daemon/DomainRegistry.h"
#include "daemon/FileProviderService.h"
#include "fileprovider1adaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTimer>

namespace OrvelanNimbal::FileProvider::CommandLine {

namespace {

const char *const helpText = R"(Utilisation : nimbal-fileprovider COMMANDE

Le service de synchronisation d'Orvelan Nimbal garde le dossier ~/Nimbal/<compte> de chaque
compte connecté à l'image du Nimbal. L'application le démarre par le bus de session ; ces
commandes disent son état et le règlent.

  status            une ligne : « + » s'il est actif, « - » s'il est désactivé, puis son
                    identifiant net.orvelan.nimbal.sync.fileprovider et sa version
  enable            active le service de synchronisation
  disable           le désactive : plus rien n'est synchronisé, les dossiers restent
  enable COMPTE     réactive le dossier d'un compte
  disable COMPTE    désactive le dossier d'un compte ; ses fichiers restent sur le disque
  serve             le service lui-même, que le bus de session démarre (pas à la main)
  --help            cette aide
)";

// The bus the service answers on: the one that started it when it was started for a call,
// else the session bus.
QDBusConnection serviceBus()
{
    const QString starter = qEnvironmentVariable("DBUS_STARTER_ADDRESS");
    if (starter.isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(starter, QStringLiteral("nimbal-fileprovider-starter"));
}

int serve(QTextStream &err)
{
    const QString file = DomainRegistry::defaultFile();
    if (file.isEmpty()) {
        err << "nimbal-fileprovider : aucun dossier de données ($XDG_DATA_HOME) utilisable.\n";
        return 1;
    }
    LogFile::keepFor(QStringLiteral("nimbal-fileprovider"));
    DomainRegistry registry(file);
    registry.load();
    FileProviderBus::registerTypes();
    QDBusConnection bus = serviceBus();
    if (!bus.isConnected()) {
        err << "nimbal-fileprovider : bus de session injoignable.\n";
        return 1;
    }
    DomainStates states(DomainStates::defaultFile());
    states.load();
    FileProviderService service(std::move(registry), std::move(states),
                                ServiceEndpoints::fromBuild());
    new FileProvider1Adaptor(&service);
    if (!bus.registerObject(FileProviderBus::objectPath, &service)
        || !bus.registerService(fileProviderBundleIdentifier)) {
        err << "nimbal-fileprovider : le service tourne déjà sur ce bus.\n";
        return 1;
    }
    qCInfo(logExtension) << "Service de synchronisation prêt, version"
                         << FileProviderService::version();
    service.start();
    // The session that started us is over once its bus is gone: so are we. Whatever was under
    // way is taken up again at the next start.
    QTimer busWatch;
    QObject::connect(&busWatch, &QTimer::timeout, [&bus] {
        if (!bus.isConnected())
            QCoreApplication::quit();
    });
    busWatch.start(std::chrono::seconds(2));
    return QCoreApplication::exec();
}

// One call to the running service (started by the bus when needed).
int call(const QString &method, const QVariantList &arguments, QTextStream &err)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        err << "nimbal-fileprovider : bus de session injoignable.\n";
        return 1;
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(fileProviderBundleIdentifier, FileProviderBus::objectPath,
                                       FileProviderBus::interfaceName, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        err << "nimbal-fileprovider : " << reply.errorMessage() << '\n';
        return 1;
    }
    return 0;
}

} // namespace

QString statusLine(bool enabled)
{
    return (enabled ? u"+"_qs : u"-"_qs) + QStringLiteral("    ") + fileProviderBundleIdentifier
           + u'(' + FileProviderService::version() + u')';
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QString command = arguments.value(0);
    if (command == u"--help" || command == u"-h" || command == u"help") {
        out << helpText;
        return 0;
    }
    if (command == u"serve" && arguments.size() == 1)
        return serve(err);
    if (command == u"status" && arguments.size() == 1) {
        DomainRegistry registry(DomainRegistry::defaultFile());
        registry.load();
        out << statusLine(registry.extensionEnabled) << '\n';
        return 0;
    }
    if ((command == u"enable" || command == u"disable") && arguments.size() <= 2) {
        const bool enabled = command == u"enable";
        if (arguments.size() == 1)
            return call(QStringLiteral("SetExtensionEnabled"), {enabled}, err);
        return call(QStringLiteral("SetUserEnabled"), {arguments[1], enabled}, err);
    }
    err << helpText;
    return 2;
}

} // namespace OrvelanNimbal::FileProvider::CommandLine
