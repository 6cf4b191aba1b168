// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "foundation/ApiPaths.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace OrvelanNimbal::Service {

class ServiceContext;

// The path serving a content of the content store, and the one serving a thumbnail.
std::string contentPath(const QString &contentKey);
std::string thumbnailPath(std::int64_t thumbnailId);

struct PresignedUrl {
    std::string url;
    std::int64_t expiresIn = 0; // seconds
};

// An absolute address of `path` on this server, at the address the request reached, signed for
// `method` and good for `lifetime` seconds.
PresignedUrl presign(ServiceContext &context, const httplib::Request &request,
                     std::string_view method, const std::string &path, std::int64_t lifetime);

// Whether the request carries a valid, unexpired signature for its method and path. When it
// does not, answers 403 ("invalid_signature" or "expired_signature") and gives false.
bool admitPresigned(ServiceContext &context, const httplib::Request &request,
                    httplib::Response &response);

} // namespace OrvelanNimbal::Service
