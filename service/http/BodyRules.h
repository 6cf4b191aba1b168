// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <httplib.h>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace OrvelanNimbal::Service {

class ServiceContext;

// What a route takes as a request body. The server checks it from the head alone, before a
// byte of the body is read: whoever may not send it, or sends the wrong kind or too much of it,
// is answered at once, and what it sends is never held in memory.
struct BodyRule {
    enum class Kind {
        json,  // "application/json" (UTF-8), with a Content-Length
        form,  // "multipart/form-data", read to disk as it arrives
        bytes, // anything, read to disk as it arrives
    };
    // Answers the refusal (401, 403…) and gives false when this sender may not send a body
    // here; none: anyone may.
    using Admission = bool (*)(ServiceContext &, const httplib::Request &, httplib::Response &);

    Kind kind = Kind::json;
    std::int64_t mostBytes = 0;
    Admission admission = nullptr;
};

// The rules of every route that takes a body; a body sent anywhere else is refused. A
// member of the ServiceContext, filled by the route families as they install their routes.
class BodyRules {
public:
    void add(std::string method, const std::string &pattern, BodyRule rule);
    const BodyRule *find(std::string_view method, const std::string &path) const;
    // The most any route takes: what the server need never read beyond.
    std::int64_t largest() const;

    // True when the request carries no body, or one its route takes from this sender; otherwise
    // the refusal is in `response`: the admission's own, 400 for a length that cannot be read,
    // 411 for a JSON body without a length, 413 beyond the route's size or where no route
    // takes a body, 415 for another kind of content.
    bool admit(ServiceContext &context, const httplib::Request &request,
               httplib::Response &response) const;

private:
    struct Rule {
        std::string method;
        std::regex pattern;
        BodyRule body;
    };
    std::vector<Rule> m_rules;
};

// Where a route family installs the routes that take a body: each with its rule.
//   BodyRoutes routes(server, context);
//   routes.post(apiPrefix + "/drive/move", signedInJson, driveRoute(context, &move));
class BodyRoutes {
public:
    BodyRoutes(httplib::Server &server, ServiceContext &context);

    template <class Handler>
    void post(const std::string &pattern, BodyRule rule, Handler handler)
    {
        m_rules.add("POST", pattern, rule);
        m_server.Post(pattern, std::move(handler));
    }
    template <class Handler>
    void put(const std::string &pattern, BodyRule rule, Handler handler)
    {
        m_rules.add("PUT", pattern, rule);
        m_server.Put(pattern, std::move(handler));
    }

private:
    httplib::Server &m_server;
    BodyRules &m_rules;
};

} // namespace OrvelanNimbal::Service
