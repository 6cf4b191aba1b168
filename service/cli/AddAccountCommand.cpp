// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/Accounts.h"
#include "cli/CommandLine.h"
#include "cli/OptionParsing.h"
#include "foundation/DataDirectory.h"
#include "foundation/Database.h"
#include "foundation/ServiceClock.h"

#include <cstdio>

namespace OrvelanNimbal::Service {

int runAddAccount(const QStringList &arguments) {
    QCommandLineParser parser;
    for (const char *name :
         {"data", "email", "password", "totp-secret", "recovery-code", "quota-mb"})
        parser.addOption({QString::fromLatin1(name), {}, QStringLiteral("VALUE")});
    parser.addOption({QStringLiteral("passkey-only"), {}});
    const QStringList required{QStringLiteral("data"), QStringLiteral("email"),
                               QStringLiteral("password")};
    if (const auto exitCode = parseOptions(parser, arguments, required))
        return *exitCode;
    const auto quota = integerOption(parser, QStringLiteral("quota-mb"), 10240, 0, 1LL << 40);
    if (!quota)
        return exitUsage;

    NewAccount account;
    account.email = parser.value(QStringLiteral("email"));
    account.password = parser.value(QStringLiteral("password"));
    if (parser.isSet(QStringLiteral("totp-secret")))
        account.totpSecret = parser.value(QStringLiteral("totp-secret"));
    account.recoveryCodes = parser.values(QStringLiteral("recovery-code"));
    account.passkeyOnly = parser.isSet(QStringLiteral("passkey-only"));
    account.quotaMegabytes = *quota;

    try {
        auto database = openDataDirectory(parser.value(QStringLiteral("data")).toStdString());
        database->transaction([&](Connection &connection) {
            Accounts::create(connection, account, systemServiceClock()->now());
        });
        std::printf("compte créé : %s\n", account.email.toLocal8Bit().constData());
        return exitSuccess;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "nimbal-service: %s\n", error.what());
        return exitFailure;
    }
}

} // namespace OrvelanNimbal::Service
