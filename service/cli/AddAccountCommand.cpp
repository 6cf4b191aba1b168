// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/Accounts.h"
#include "cli/CommandLine.h"
#include "cli/OptionParsing.h"
#include "drive/DemoDrive.h"
#include "drive/DriveChange.h"
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "foundation/ServiceClock.h"
#include "ServiceSchema.h"
#include "storage/ContentStore.h"

#include <cstdio>

namespace OrvelanNimbal::Service {

int runAddAccount(const QStringList &arguments)
{
    QCommandLineParser parser;
    for (const char *name :
         {"data", "email", "password", "totp-secret", "recovery-code", "quota-mb"})
        parser.addOption({QString::fromLatin1(name), {}, QStringLiteral("VALUE")});
    parser.addOption({QStringLiteral("passkey-only"), {}});
    parser.addOption({QStringLiteral("seed-demo-tree"), {}});
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

    const bool seed = parser.isSet(QStringLiteral("seed-demo-tree"));

    try {
        const std::filesystem::path data = parser.value(QStringLiteral("data")).toStdString();
        auto database = openDataDirectory(data, serviceSchema());
        const ContentStore store = ContentStore::inDataDirectory(data);
        const std::int64_t now = systemServiceClock()->now();
        // One transaction: the account comes with its demo drive, or not at all.
        const DemoDriveCounts counts = database->transaction([&](Connection &connection) {
            const std::int64_t id = Accounts::create(connection, account, now);
            if (!seed)
                return DemoDriveCounts();
            DriveChange change(connection, id, now);
            const DemoDriveCounts seeded = seedDemoDrive(change, store);
            change.finish();
            return seeded;
        });
        std::printf("compte créé : %s\n", account.email.toLocal8Bit().constData());
        if (seed)
            std::printf("Nimbal de démonstration : %d dossiers, %d fichiers dont %d archivés et "
                        "%d dans la corbeille\n",
                        counts.folders, counts.files, counts.archivedFiles, counts.trashedFiles);
        return exitSuccess;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "nimbal-service: %s\n", error.what());
        return exitFailure;
    }
}

} // namespace OrvelanNimbal::Service
