// SPDX-License-Identifier: GPL-3.0-or-later
// What pre-signed content addresses lead to: the bytes of a content, with their length and
// without any token, once the signature and the expiry check out.
#include "storage/StorageRoutes.h"

#include "foundation/JsonHttp.h"
#include "ServiceContext.h"
#include "storage/ContentStore.h"
#include "storage/FileAnswer.h"
#include "storage/Presigning.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

void notFound(httplib::Response &response)
{
    sendError(response, 404, QStringLiteral("not_found"), QStringLiteral("contenu introuvable"));
}

void serveContent(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response)
{
    if (!admitPresigned(context, request, response))
        return;
    const auto path = context.contentStore.pathOf(fromStd(request.matches[1]));
    if (!path || !answerWithFile(response, *path))
        notFound(response);
}

} // namespace

void installStorageRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(storagePrefix + "/content/(.+)",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   serveContent(context, request, response);
               });
}

} // namespace OrvelanNimbal::Service
