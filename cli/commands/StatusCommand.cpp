// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExtensionClient.h"
#include "Session.h"
#include "StatusReport.h"
#include "api/DriveAPI.h"
#include "commands/Commands.h"
#include "config/OrvelanNimbal.h"
#include "errors/DriveError.h"
#include "sync/DomainSummary.h"

#include <QJsonDocument>

namespace OrvelanNimbal::CommandLine::Commands {

namespace {

std::optional<QDateTime> instantOrNothing(qint64 seconds)
{
    return seconds > 0 ? std::optional(QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC))
                       : std::nullopt;
}

// The report with what the extension says of the account's domain; an extension that cannot be
// reached leaves it saying so.
QCoro::Task<StatusReport> readExtension(StatusReport report, std::shared_ptr<Console> console)
{
    ExtensionClient extension;
    try {
        report.extensionEnabled = co_await extension.extensionEnabled();
        report.extensionReachable = true;
        const std::optional<FileProviderDomain> domain = co_await extension.domain(report.account);
        report.domainRegistered = domain.has_value();
        report.domainEnabled = domain && domain->userEnabled;
        if (!domain)
            co_return report;
        report.folder = co_await extension.userVisibleFolder(report.account);
        const QVariantMap activity = co_await extension.activity(report.account);
        report.paused = activity.value(QStringLiteral("paused")).toBool();
        report.pausedUntil =
            instantOrNothing(activity.value(QStringLiteral("pausedUntil")).toLongLong());
        report.lastSync = instantOrNothing(activity.value(QStringLiteral("lastSync")).toLongLong());
        report.toSend =
            StatusReport::Left{activity.value(QStringLiteral("itemsToSend")).toLongLong(),
                               activity.value(QStringLiteral("bytesToSend")).toLongLong()};
        report.toReceive =
            StatusReport::Left{activity.value(QStringLiteral("itemsToReceive")).toLongLong(),
                               activity.value(QStringLiteral("bytesToReceive")).toLongLong()};
    } catch (const CommandFailure &failure) {
        if (failure.status() == ExitStatus::unreachable)
            report.extensionReachable = false;
        console->say(failure.message());
    }
    co_return report;
}

} // namespace

QCoro::Task<ExitStatus> status(Invocation invocation, std::shared_ptr<Console> console)
{
    StatusReport report;
    const std::shared_ptr<ApiClient> client = makeClient();
    try {
        report.account = co_await signedInAccount(client);
        report.signedIn = true;
    } catch (const CommandFailure &failure) {
        if (failure.status() != ExitStatus::notSignedIn)
            throw;
    }
    if (report.signedIn) {
        report = co_await readExtension(std::move(report), console);
        try {
            report.quota = co_await DriveAPI(client).quota();
            report.serviceReachable = true;
        } catch (const DriveError &error) {
            report.serviceReachable = !error.isRetryable();
            console->say(QStringLiteral("Stockage inconnu : %1").arg(error.errorDescription()));
        }
        if (const std::optional<DomainSummary> summary =
                DomainSummary::load(summaryURL(report.account))) {
            report.conflicts = summary->conflicts.size();
            report.lastConflict = summary->lastConflictLabel();
            report.archived = summary->archivedFileCount();
            report.archivedText = summary->archivedLabel();
        }
    }
    if (invocation.has(QStringLiteral("--json")))
        console->out() << QJsonDocument(report.toJson()).toJson(QJsonDocument::Indented);
    else
        console->out() << report.toText();
    if (!report.signedIn)
        co_return ExitStatus::notSignedIn;
    co_return report.extensionReachable ? ExitStatus::done : ExitStatus::unreachable;
}

} // namespace OrvelanNimbal::CommandLine::Commands
