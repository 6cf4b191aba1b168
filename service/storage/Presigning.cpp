// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/Presigning.h"

#include "foundation/JsonHttp.h"
#include "ServiceContext.h"
#include "storage/UrlSigner.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

std::string originOf(const httplib::Request &request)
{
    const bool ipv6 = request.local_addr.find(':') != std::string::npos;
    const std::string host = ipv6 ? "[" + request.local_addr + "]" : request.local_addr;
    return "http://" + host + ":" + std::to_string(request.local_port);
}

} // namespace

std::string contentPath(const QString &contentKey)
{
    return storagePrefix + "/content/" + contentKey.toStdString();
}

std::string thumbnailPath(std::int64_t thumbnailId)
{
    return storagePrefix + "/thumbnails/" + std::to_string(thumbnailId);
}

PresignedUrl presign(ServiceContext &context, const httplib::Request &request,
                     std::string_view method, const std::string &path, std::int64_t lifetime)
{
    const std::int64_t expires = context.now() + lifetime;
    return {originOf(request) + path + "?"
                + context.urlSigner.query(method, path, expires),
            lifetime};
}

bool admitPresigned(ServiceContext &context, const httplib::Request &request,
                    httplib::Response &response)
{
    // Read from the query as it came, not from the parameters the library made of it, which
    // take "signature=junk=x" for "x" and repeated names for one.
    const std::string_view target = request.target;
    const std::size_t question = target.find('?');
    const auto fields = question == std::string_view::npos
                            ? std::nullopt
                            : UrlSigner::readQuery(target.substr(question + 1));
    // HEAD asks for the headers a GET would have: the same grant answers both.
    const std::string_view method =
        request.method == "HEAD" ? std::string_view("GET") : std::string_view(request.method);
    const UrlSigner::Verdict verdict =
        fields ? context.urlSigner.check(method, request.path, fields->expires,
                                                      fields->signature, context.now())
               : UrlSigner::Verdict::forged;
    if (verdict == UrlSigner::Verdict::valid)
        return true;
    if (verdict == UrlSigner::Verdict::expired)
        sendError(response, 403, QStringLiteral("expired_signature"),
                  QStringLiteral("cette adresse a expiré : demandez-en une nouvelle"));
    else
        sendError(response, 403, QStringLiteral("invalid_signature"),
                  QStringLiteral("signature absente ou fausse"));
    return false;
}

} // namespace OrvelanNimbal::Service
