// SPDX-License-Identifier: GPL-3.0-or-later
// Sign-in and sign-out as the panel does them: the same requests, the same session and trusted
// device in the Secret Service, the same domain registered with the extension.
#include "ExtensionClient.h"
#include "Session.h"
#include "auth/KeychainError.h"
#include "auth/SignInMessages.h"
#include "commands/Commands.h"
#include "config/ComputerName.h"
#include "config/OrvelanNimbal.h"
#include "config/PlatformWords.h"
#include "errors/DriveError.h"

namespace OrvelanNimbal::CommandLine::Commands {

namespace {

QString readPassword(const Invocation &invocation, const std::shared_ptr<Console> &console)
{
    std::optional<QString> password;
    if (invocation.has(QStringLiteral("--password-stdin")))
        password = console->readInputLine();
    else if (console->hasTerminal())
        password = console->askTerminal(QStringLiteral("Mot de passe : "), true);
    else
        throw CommandFailure::usage(QStringLiteral(
            "Aucun terminal pour saisir le mot de passe : donnez-le sur l'entrée standard avec "
            "--password-stdin."));
    if (!password || password->isEmpty())
        throw CommandFailure::usage(QStringLiteral("Aucun mot de passe saisi."));
    return *password;
}

// The code, from the terminal when there is one, else the next line of standard input.
QString readCode(const TwoFactorChallenge &challenge, bool recovery,
                 const std::shared_ptr<Console> &console)
{
    console->say(recovery ? QStringLiteral("Saisissez un code de secours pour %1. Chaque code ne "
                                           "sert qu'une fois.")
                                .arg(challenge.account)
                          : QStringLiteral("Saisissez le code de votre application "
                                           "d'authentification pour %1.")
                                .arg(challenge.account));
    const QString prompt =
        recovery ? QStringLiteral("Code de secours : ") : QStringLiteral("Code : ");
    const std::optional<QString> code =
        console->hasTerminal() ? console->askTerminal(prompt, recovery) : console->readInputLine();
    if (!code || code->trimmed().isEmpty())
        throw CommandFailure::usage(QStringLiteral("Aucun code saisi."));
    return *code;
}

QCoro::Task<DriveSession> secondFactor(std::shared_ptr<ApiClient> client,
                                       TwoFactorChallenge challenge, Invocation invocation,
                                       std::shared_ptr<Console> console)
{
    if (!challenge.acceptsAnyCode())
        throw CommandFailure(ExitStatus::refused, SignInMessages::passkeyOnly);
    const bool recovery =
        invocation.has(QStringLiteral("--recovery")) || !challenge.acceptsAuthenticatorCode();
    if (recovery && !challenge.acceptsRecoveryCode())
        throw CommandFailure(ExitStatus::refused,
                             QStringLiteral("Ce compte n'accepte pas les codes de secours : "
                                            "saisissez le code de votre application "
                                            "d'authentification."));
    const QString code = readCode(challenge, recovery, console);
    const bool remember = invocation.has(QStringLiteral("--remember"));
    const QString label = computerName().value_or(PlatformWords::deviceLabel);
    try {
        co_return co_await client->verifyTwoFactor(
            challenge, recovery ? TwoFactorMethod::recovery : TwoFactorMethod::totp, code, remember,
            label);
    } catch (const DriveError &error) {
        if (error.kind() == DriveError::Kind::twoFactorExpired)
            throw CommandFailure(ExitStatus::refused, SignInMessages::verificationExpired);
        throw CommandFailure::from(error);
    }
}

} // namespace

QCoro::Task<ExitStatus> signIn(Invocation invocation, std::shared_ptr<Console> console)
{
    const QString email = invocation.arguments.constFirst().trimmed();
    const QString password = readPassword(invocation, console);
    const std::shared_ptr<ApiClient> client = makeClient();
    std::optional<DriveSession> session;
    try {
        const LoginOutcome outcome = co_await client->login(email, password);
        if (const DriveSession *signedIn = outcome.session())
            session = *signedIn;
        else
            session = co_await secondFactor(client, *outcome.challenge(), invocation, console);
    } catch (const DriveError &error) {
        throw CommandFailure::from(error);
    } catch (const KeychainError &error) {
        throw CommandFailure::from(error);
    }
    ExtensionClient extension;
    try {
        co_await extension.mount(session->account);
    } catch (const CommandFailure &failure) {
        throw CommandFailure(failure.status(),
                             QStringLiteral("Connecté en tant que %1, mais le dossier du compte "
                                            "n'a pas pu être ajouté : %2")
                                 .arg(session->account, failure.message()));
    }
    const QString folder = co_await extension.userVisibleFolder(session->account);
    console->say(QStringLiteral("Connecté en tant que %1. Le Nimbal se remplit dans %2.")
                     .arg(session->account, folder));
    co_return ExitStatus::done;
}

QCoro::Task<ExitStatus> signOut(Invocation invocation, std::shared_ptr<Console> console)
{
    Q_UNUSED(invocation)
    const std::shared_ptr<ApiClient> client = makeClient();
    const QString account = co_await signedInAccount(client);
    try {
        co_await ExtensionClient().removeDomain(account);
    } catch (const CommandFailure &failure) {
        // The session ends all the same; a domain left behind goes at the next sign-in.
        console->say(failure.message());
    }
    removeLocalState(account);
    try {
        co_await client->logout();
    } catch (const KeychainError &error) {
        throw CommandFailure::from(error);
    }
    console->say(QStringLiteral("Déconnecté de %1.").arg(account));
    co_return ExitStatus::done;
}

} // namespace OrvelanNimbal::CommandLine::Commands
