// SPDX-License-Identifier: GPL-3.0-or-later
// Test controls of uploads, installed only with --test-controls: storage faults on the next
// part PUTs, and what an account's uploads have left on the service.
//
//   POST /_test/uploads/faults  {"fault": "fail" | "drop" | "omit_etag", "count"?: 1,
//                                "status"?: 503}                                     → 204
//        fail: answer "status" and store nothing; drop: answer as if stored, keep nothing;
//        omit_etag: store the part, answer without its ETag
//   GET  /_test/uploads?email=E → {"uploads", "parts"} (rows of uploads in progress and of
//        their parts), {"part_files", "content_files"} (files on disk under the account's
//        parts folder, and under its content folder, half-written ones included),
//        {"last_completion_ms"} (how long the service's latest multipart completion took)
//   POST /_test/uploads/reset   faults dropped                                        → 204
#include "auth/Accounts.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"
#include "storage/ContentStore.h"
#include "uploads/PartStore.h"
#include "uploads/StorageFaults.h"
#include "uploads/UploadRoutes.h"
#include "uploads/UploadSessions.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

void addFaults(ServiceContext &context, const httplib::Request &request,
               httplib::Response &response)
{
    const auto body = jsonObjectBody(request);
    const QString kind = body ? stringMember(*body, u"fault").value_or(QString()) : QString();
    StorageFaults::Fault fault;
    if (kind == u"fail")
        fault.kind = StorageFaults::Kind::fail;
    else if (kind == u"drop")
        fault.kind = StorageFaults::Kind::drop;
    else if (kind == u"omit_etag")
        fault.kind = StorageFaults::Kind::omitETag;
    else
        return sendError(response, 400, QStringLiteral("invalid_request"),
                         QStringLiteral("« fault » : fail, drop ou omit_etag"));
    fault.status = body->value(u"status").toInt(503);
    const int count = body->value(u"count").toInt(1);
    if (count < 1 || fault.status < 100 || fault.status > 599)
        return sendError(response, 400, QStringLiteral("invalid_request"),
                         QStringLiteral("« count » ou « status » hors limites"));
    context.storageFaults.add(fault, count);
    response.status = 204;
}

void leftovers(ServiceContext &context, const httplib::Request &request,
               httplib::Response &response)
{
    const QString email = fromStd(request.get_param_value("email"));
    const auto rows = context.database().read([&](Connection &connection) {
        const auto account = Accounts::findByEmail(connection, email);
        std::optional<std::pair<std::int64_t, std::vector<UploadSession>>> found;
        if (account)
            found.emplace(account->id, UploadSessions::ofAccount(connection, account->id));
        return found;
    });
    if (!rows)
        return sendError(response, 404, QStringLiteral("unknown_account"),
                         QStringLiteral("aucun compte pour cette adresse"));
    const auto &[accountId, uploads] = *rows;
    qint64 parts = 0;
    context.database().read([&, &sessions = uploads](Connection &connection) {
        for (const UploadSession &upload : sessions)
            parts += qint64(UploadSessions::parts(connection, upload.id).size());
    });
    const auto contentFolder =
        context.contentStore.root() / "drive" / std::to_string(accountId);
    sendJson(response, 200,
             QJsonObject{{QStringLiteral("uploads"), qint64(uploads.size())},
                         {QStringLiteral("parts"), parts},
                         {QStringLiteral("part_files"),
                          context.partStore.countFiles(accountId)},
                         {QStringLiteral("content_files"), regularFilesUnder(contentFolder)},
                         {QStringLiteral("last_completion_ms"),
                          context.lastCompletionMs.load()}});
}

void reset(ServiceContext &context, const httplib::Request &, httplib::Response &response)
{
    context.storageFaults.clear();
    response.status = 204;
}

using Control = void (*)(ServiceContext &, const httplib::Request &, httplib::Response &);

httplib::Server::Handler bound(ServiceContext &context, Control control)
{
    return [&context, control](const httplib::Request &request, httplib::Response &response) {
        control(context, request, response);
    };
}

} // namespace

void installUploadTestControls(httplib::Server &server, ServiceContext &context)
{
    const std::string root = testControlPrefix + "/uploads";
    server.Post(root + "/faults", bound(context, &addFaults));
    server.Get(root, bound(context, &leftovers));
    server.Post(root + "/reset", bound(context, &reset));
}

} // namespace OrvelanNimbal::Service
