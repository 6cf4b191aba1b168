// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/Accounts.h"

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

} // namespace OrvelanNimbal::Service
