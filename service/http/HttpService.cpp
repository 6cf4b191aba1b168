// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/HttpService.h"

#include "foundation/ApiPaths.h"
#include "foundation/JsonHttp.h"
#include "http/ConnectionEnd.h"
#include "http/OpenFileLimit.h"
#include "ServiceContext.h"

#include <cstdio>
#include <stdexcept>

namespace OrvelanNimbal::Service {

namespace {

bool isTestControlPath(const std::string &path)
{
    return path.rfind(testControlPrefix + "/", 0) == 0;
}

} // namespace

HttpService::HttpService(ServiceContext &context, RouteTable routes)
    : m_context(context)
    , m_bodyRules(context.bodyRules)
{
    const ServiceConfig &config = context.config();
    // Every connection is a file; the usual soft limit of 1024 would refuse connections long
    // before the workers run short.
    raiseOpenFileLimit();
    const auto workers = size_t(config.workers());
    m_server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    m_server.set_keep_alive_timeout(config.idleSeconds);
    m_server.set_keep_alive_max_count(size_t(config.requestsPerConnection));
    // A client that goes quiet in the middle of a request, or stops reading an answer, frees
    // its worker after this long.
    m_server.set_read_timeout(config.ioTimeoutSeconds);
    m_server.set_write_timeout(config.ioTimeoutSeconds);
    // Answers go out in several small writes (the head, then each chunk of a body); accepted
    // sockets inherit this from the listening one.
    m_server.set_tcp_nodelay(true);
    // The library's default shares the port with any other process that asks (SO_REUSEPORT),
    // so a second service on a taken port would quietly receive half the requests. Reusing
    // an address left in TIME_WAIT is all a restart needs.
    m_server.set_socket_options([this](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
        m_listeningSocket = socket;
    });
    installHooks();
    routes(m_server, context);
    // Each route's own limit is in its body rule, checked from the head; the library's is a
    // last guard.
    m_server.set_payload_max_length(size_t(m_bodyRules.largest()));
}

HttpService::~HttpService()
{
    stop();
}

void HttpService::installHooks()
{
    // Paths only: queries may carry storage keys and signatures, headers carry tokens, and
    // bodies carry passwords and codes; none of them is ever written out.
    m_server.set_logger([](const httplib::Request &request, const httplib::Response &response) {
        std::fprintf(stderr, "nimbal-service: %s %s %d\n", request.method.c_str(),
                     request.path.c_str(), response.status);
    });
    m_server.set_exception_handler(
        [](const httplib::Request &request, httplib::Response &response, std::exception_ptr error) {
            std::string what = "exception inconnue";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception &exception) {
                what = exception.what();
            } catch (...) {
            }
            std::fprintf(stderr, "nimbal-service: erreur interne sur %s %s : %s\n",
                         request.method.c_str(), request.path.c_str(), what.c_str());
            sendError(response, 500, QStringLiteral("internal_error"));
            endConnectionIfBodyLeft(request, response);
        });
    // A client that waits for leave to send its body hears the refusal instead.
    m_server.set_expect_100_continue_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
            if (m_bodyRules.admit(m_context, request, response))
                return 100;
            endConnectionIfBodyLeft(request, response);
            return response.status;
        });
    // Runs once the head is read and before any byte of the body is: whatever it answers, the
    // body stays unread, and the connection ends with the answer.
    m_server.set_pre_routing_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
            bool handled = false;
            if (m_context.config().testControls && !isTestControlPath(request.path)) {
                m_context.requestLog.record(request.method, request.path);
                const auto fault =
                    m_context.faults.take(request.method, request.path);
                handled = fault && FaultInjector::apply(*fault, response);
            }
            handled = handled || !m_bodyRules.admit(m_context, request, response);
            if (handled)
                endConnectionIfBodyLeft(request, response);
            return handled ? httplib::Server::HandlerResponse::Handled
                           : httplib::Server::HandlerResponse::Unhandled;
        });
    m_server.set_post_routing_handler(
        [](const httplib::Request &, httplib::Response &response) { keepPromiseToEnd(response); });
}

int HttpService::bind()
{
    const ServiceConfig &config = m_context.config();
    int port = config.port;
    if (port == 0) {
        port = m_server.bind_to_any_port(config.host);
        if (port <= 0)
            throw std::runtime_error("aucun port libre sur " + config.host);
    } else if (!m_server.bind_to_port(config.host, config.port)) {
        throw std::runtime_error("le port " + std::to_string(config.port) + " de " + config.host
                                 + " est indisponible");
    }
    lengthenAcceptQueue();
    return port;
}

void HttpService::lengthenAcceptQueue()
{
    // The library listens with a queue of five connections. When many clients come at once
    // (every event stream closed together reconnects within the same second), the system
    // drops the connections beyond it and the clients try again only a second later. Linux
    // lets a listening socket be given a longer queue by listening again.
    if (m_listeningSocket >= 0)
        ::listen(m_listeningSocket, SOMAXCONN);
}

void HttpService::run()
{
    m_server.listen_after_bind();
}

void HttpService::stop()
{
    m_server.stop();
}

} // namespace OrvelanNimbal::Service
