// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace OrvelanNimbal::Service {

// An answer that leaves the request's body unread (a refusal from the head, a route that
// stopped reading) must be the last of its connection: the rest of the body would be read as
// the next request. Such an answer says "Connection: close".
void endConnection(httplib::Response &response);
// The same, when the request announced a body at all.
void endConnectionIfBodyLeft(const httplib::Request &request, httplib::Response &response);

// The server's last look at every answer. The HTTP library ends a connection when its client
// asks or when an answer cannot be written whole, not when the answer says "Connection: close";
// so the body of such an answer goes out through a provider that reports a failure once every
// byte is out. The client receives the whole answer, then the connection ends.
void keepPromiseToEnd(httplib::Response &response);

} // namespace OrvelanNimbal::Service
