// SPDX-License-Identifier: GPL-3.0-or-later
#include "Walkthrough.h"

#include "ConsoleInput.h"
#include "ServiceControls.h"
#include "api/DriveAPI.h"
#include "auth/KeychainError.h"
#include "auth/KeychainStores.h"
#include "client/ApiClient.h"
#include "config/OrvelanNimbal.h"
#include "errors/DriveError.h"
#include "net/CurlTransport.h"

#include <QLocale>
#include <QSysInfo>
#include <QTextStream>

#include <stdexcept>
#include <unistd.h>

using namespace OrvelanNimbal;

namespace {

// A step that did not go as the demo expects; its text is shown as is.
class WalkthroughFailure : public std::runtime_error {
public:
    explicit WalkthroughFailure(const QString &text)
        : std::runtime_error(text.toStdString())
    {}
};

constexpr int maxCodeAttempts = 3;
// Enough of the top of the drive to show it is there, not a listing to read through.
constexpr int filesShown = 5;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString &line)
{
    out() << line << Qt::endl;
}

QString megabytes(double value)
{
    return QLocale(QLocale::French).toString(value, 'f', value == qRound64(value) ? 0 : 2)
           + QStringLiteral(" Mo");
}

QString deviceLabel()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("Poste de démonstration") : host;
}

QString quotaLine(const DriveQuota &quota)
{
    return megabytes(quota.usedMegabytes) + QStringLiteral(" utilisés sur ")
           + megabytes(quota.maxMegabytes);
}

QString bytes(qint64 size)
{
    return QLocale(QLocale::French).toString(size)
           + (size > 1 ? QStringLiteral(" octets") : QStringLiteral(" octet"));
}

// The top of the drive: its folders, and a few of the files that sit there.
QCoro::Task<> showDriveTop(DriveAPI drive)
{
    const std::vector<DriveFolder> folders = co_await drive.folders(std::nullopt);
    QStringList names;
    for (const DriveFolder &folder : folders)
        names.append(folder.name);
    say(QStringLiteral("   Dossiers à la racine (%1) : %2")
            .arg(folders.size())
            .arg(names.isEmpty() ? QStringLiteral("aucun") : names.join(QStringLiteral(", "))));
    const std::vector<DriveFile> files = co_await drive.files(std::nullopt);
    say(QStringLiteral("   Fichiers à la racine : %1").arg(files.size()));
    for (size_t i = 0; i < files.size() && i < size_t(filesShown); ++i)
        say(QStringLiteral("     · %1 — %2, modifié le %3")
                .arg(files[i].name, bytes(files[i].size),
                     QLocale(QLocale::French)
                         .toString(files[i].modifiedAt.toUTC(), QStringLiteral("d MMMM yyyy"))));
}

QCoro::Task<> signInWithSecondFactor(std::shared_ptr<ApiClient> client, WalkthroughAccount account)
{
    const LoginOutcome outcome = co_await client->login(account.email, account.password);
    const TwoFactorChallenge *challenge = outcome.challenge();
    if (!challenge) {
        say(QStringLiteral("   Connecté sans second facteur (ce poste était déjà mémorisé)."));
        co_return;
    }
    say(QStringLiteral("   Second facteur demandé (méthodes : %1), à donner avant %2 UTC.")
            .arg(challenge->methods.join(QStringLiteral(", ")),
                 challenge->expiresAt.toUTC().toString(QStringLiteral("HH:mm:ss"))));
    if (!challenge->acceptsAuthenticatorCode())
        throw WalkthroughFailure(
            QStringLiteral("le compte n'accepte pas de code d'authentification"));
    // A mistyped code may be typed again, as in the application.
    for (int attempt = 1;; ++attempt) {
        out() << QStringLiteral("   Code à 6 chiffres de l'application d'authentification : ")
              << Qt::flush;
        const std::optional<QString> code = co_await readConsoleLine();
        if (!code)
            throw WalkthroughFailure(QStringLiteral("aucun code reçu sur l'entrée standard"));
        if (!::isatty(STDIN_FILENO))
            out() << Qt::endl; // nothing was typed, so nothing ended the prompt's line
        bool refused = false;
        try {
            co_await client->verifyTwoFactor(*challenge, TwoFactorMethod::totp, *code, true,
                                             deviceLabel());
        } catch (const DriveError &error) {
            if (error.kind() != DriveError::Kind::twoFactorInvalidCode
                || attempt == maxCodeAttempts)
                throw;
            refused = true;
        }
        if (!refused)
            break;
        say(QStringLiteral("   Code invalide, réessayez."));
    }
    say(QStringLiteral("   Code accepté. Connecté ; ce poste est mémorisé pour 30 jours."));
}

QCoro::Task<> walk(WalkthroughAccount account, QUrl serviceRoot)
{
    auto sessionStore =
        std::make_shared<KeychainSessionStore>(sessionKeychainService, appGroupIdentifier);
    auto trustedDevices = std::make_shared<KeychainTrustedDeviceStore>(trustedDeviceKeychainService,
                                                                       appGroupIdentifier);
    auto client = ApiClient::create(
        DriveConfiguration(defaultAPIBaseURL(), 3, std::chrono::milliseconds(400), 60),
        std::make_shared<CurlTransport>(), sessionStore, trustedDevices);

    say(QStringLiteral("Orvelan Nimbal — visite guidée du client, service %1")
            .arg(defaultAPIBaseURL().toString()));

    say(QStringLiteral("1. Connexion de %1").arg(account.email));
    co_await signInWithSecondFactor(client, account);
    if (!co_await trustedDevices->token(account.email))
        throw WalkthroughFailure(QStringLiteral("le jeton d'appareil de confiance n'a pas été "
                                                "rangé dans le trousseau"));

    const DriveAPI drive(client);
    say(QStringLiteral("2. Quota : %1").arg(quotaLine(co_await drive.quota())));

    say(QStringLiteral("3. Le Nimbal"));
    co_await showDriveTop(drive);

    say(QStringLiteral("4. Le service fait expirer tous les jetons d'accès."));
    const QString tokenBefore = client->currentAccessToken().value_or(QString());
    co_await ServiceControls::expireAccessTokens(serviceRoot);

    say(QStringLiteral("5. Nouvelle lecture du quota avec le jeton périmé…"));
    const DriveQuota quota = co_await drive.quota();
    const std::optional<DriveSession> stored = co_await sessionStore->load();
    if (client->currentAccessToken().value_or(tokenBefore) == tokenBefore || !stored
        || stored->accessToken != client->currentAccessToken())
        throw WalkthroughFailure(QStringLiteral("la session n'a pas été renouvelée"));
    say(QStringLiteral("   Quota : %1").arg(quotaLine(quota)));
    say(QStringLiteral("   Refusé une fois, le client s'est reconnecté en silence avec le mot de "
                       "passe du trousseau et l'appareil mémorisé : nouveau jeton en place, "
                       "aucun code demandé."));

    say(QStringLiteral("6. Déconnexion."));
    co_await client->logout();
    say(QStringLiteral("   Session effacée du trousseau ; l'appareil reste mémorisé."));

    say(QStringLiteral("7. Nouvelle connexion de %1").arg(account.email));
    const LoginOutcome again = co_await client->login(account.email, account.password);
    if (!again.session())
        throw WalkthroughFailure(QStringLiteral("le service a redemandé le second facteur"));
    say(QStringLiteral("   Appareil reconnu : connecté sans second facteur."));
    say(QStringLiteral("   Quota : %1").arg(quotaLine(co_await drive.quota())));
    co_await client->logout();
}

} // namespace

QCoro::Task<int> runWalkthrough(WalkthroughAccount account, QUrl serviceRoot)
{
    // The handlers only note the failure: co_await is not allowed inside them.
    QString failure;
    try {
        co_await walk(std::move(account), std::move(serviceRoot));
    } catch (const DriveError &error) {
        failure = error.errorDescription();
    } catch (const KeychainError &error) {
        failure = error.errorDescription();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!failure.isEmpty()) {
        say(QStringLiteral("Échec : ") + failure);
        co_return 1;
    }
    say(QStringLiteral("Visite terminée."));
    co_return 0;
}
