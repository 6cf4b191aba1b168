// SPDX-License-Identifier: GPL-3.0-or-later
// Pausing and resuming the account's synchronisation, and waiting for it to settle.
#include "Durations.h"
#include "ExtensionClient.h"
#include "Session.h"
#include "commands/Commands.h"
#include "sync/PauseText.h"

#include <QDateTime>

namespace OrvelanNimbal::CommandLine::Commands {

namespace {

std::chrono::seconds durationOption(const Invocation &invocation, const QString &option)
{
    const QString text = invocation.values.value(option);
    const std::optional<std::chrono::seconds> duration = parseDuration(text);
    if (!duration)
        throw CommandFailure::usage(
            QStringLiteral("Durée illisible pour %1 : « %2 » (par exemple 90, 45s, 10m, 2h, "
                           "1h30m).")
                .arg(option, text));
    return *duration;
}

} // namespace

QCoro::Task<ExitStatus> pause(Invocation invocation, std::shared_ptr<Console> console)
{
    const QString option = QStringLiteral("--for");
    std::optional<QDateTime> until;
    if (invocation.values.contains(option))
        until = QDateTime::currentDateTimeUtc().addSecs(durationOption(invocation, option).count());
    const QString account = co_await signedInAccount(makeClient());
    // Worked out apart from the co_await: GCC 12 evaluates both arms of a conditional there.
    const qint64 end = until ? until->toSecsSinceEpoch() : 0;
    co_await ExtensionClient().pause(account, end);
    console->say(pauseText(until, QDateTime::currentDateTime())
                 + QStringLiteral(" : rien n'est envoyé ni reçu, les changements attendent."));
    co_return ExitStatus::done;
}

QCoro::Task<ExitStatus> resume(Invocation invocation, std::shared_ptr<Console> console)
{
    Q_UNUSED(invocation)
    const QString account = co_await signedInAccount(makeClient());
    co_await ExtensionClient().resume(account);
    console->say(QStringLiteral("Synchronisation reprise."));
    co_return ExitStatus::done;
}

QCoro::Task<ExitStatus> wait(Invocation invocation, std::shared_ptr<Console> console)
{
    const QString option = QStringLiteral("--timeout");
    // Without a limit the wait lasts as long as there is work: a day is the bus's longest.
    const std::chrono::milliseconds timeout = invocation.values.contains(option)
                                                  ? durationOption(invocation, option)
                                                  : std::chrono::hours(24);
    const QString account = co_await signedInAccount(makeClient());
    ExtensionClient extension;
    // What happened on the service since the last look counts too.
    co_await extension.signalWorkingSet(account);
    co_await extension.waitForStabilization(account, timeout);
    console->say(QStringLiteral("Nimbal à jour."));
    co_return ExitStatus::done;
}

} // namespace OrvelanNimbal::CommandLine::Commands
