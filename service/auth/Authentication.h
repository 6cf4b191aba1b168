// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/Accounts.h"

#include <QString>

#include <optional>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace OrvelanNimbal::Service {

class ServiceContext;

// The account whose valid access token the request carries ("Authorization: Bearer …").
// Without one, answers 401 and gives nothing; the handler then just returns:
//   const auto account = authenticate(context, request, response);
//   if (!account)
//       return;
std::optional<Account> authenticate(ServiceContext &context, const httplib::Request &request,
                                    httplib::Response &response);

// The same, as the admission of a body rule: only a signed-in client may send a body.
bool admitSignedIn(ServiceContext &context, const httplib::Request &request,
                   httplib::Response &response);

// The token of an "Authorization" header that is exactly "Bearer <token>": one header, the
// scheme, one space, and the token's own characters to the end (no space, no NUL, nothing
// more). Nothing otherwise.
std::optional<QString> bearerToken(const httplib::Request &request);

} // namespace OrvelanNimbal::Service
