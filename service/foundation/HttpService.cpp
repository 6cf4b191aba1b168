// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/HttpService.h"

#include "admin/FaultInjector.h"
#include "admin/RequestLog.h"
#include "foundation/ApiPaths.h"
#include "foundation/JsonHttp.h"
#include "foundation/RouteRegistry.h"
#include "foundation/ServiceContext.h"

#include <cstdio>
#include <httplib.h>
#include <stdexcept>

namespace OrvelanNimbal::Service {

namespace {

// Clients keep connections open between requests; let them reuse one for a while.
constexpr size_t keepAliveRequests = 100;

bool isTestControlPath(const std::string &path)
{
    return path.rfind(testControlPrefix + "/", 0) == 0;
}

} // namespace

HttpService::HttpService(ServiceContext &context)
    : m_context(context)
    , m_server(std::make_unique<httplib::Server>())
{
    const int threads = context.config().workerThreads;
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    m_server->set_keep_alive_max_count(keepAliveRequests);
    // Answers go out in several small writes (the head, then each chunk of an event stream).
    // Held back until the previous one is acknowledged, the second would wait for the client's
    // delayed acknowledgement: some 40 ms added to a reconnection, for nothing.
    m_server->set_tcp_nodelay(true);
    // The library's default shares the port with any other process that asks (SO_REUSEPORT),
    // so a second service on a taken port would quietly receive half the requests. Reusing
    // an address left in TIME_WAIT is all a restart needs.
    m_server->set_socket_options([this](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        m_listeningSocket = socket;
    });
    installHooks();
    for (const RouteFamily &family : RouteRegistry::families()) {
        if (family.testControlsOnly && !context.config().testControls)
            continue;
        family.install(*m_server, context);
    }
}

HttpService::~HttpService() = default;

void HttpService::installHooks()
{
    // Paths only: queries may carry storage keys and signatures, headers carry tokens, and
    // bodies carry passwords and codes; none of them is ever written out.
    m_server->set_logger([](const httplib::Request &request, const httplib::Response &response) {
        std::fprintf(stderr, "nimbal-service: %s %s %d\n", request.method.c_str(),
                     request.path.c_str(), response.status);
    });
    m_server->set_exception_handler(
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
        });

    if (!m_context.config().testControls)
        return;
    m_server->set_pre_routing_handler([this](const httplib::Request &request,
                                             httplib::Response &response) {
        if (isTestControlPath(request.path))
            return httplib::Server::HandlerResponse::Unhandled;
        m_context.component<RequestLog>().record(request.method, request.path);
        const auto fault = m_context.component<FaultInjector>().take(request.method, request.path);
        if (!fault || !FaultInjector::apply(*fault, response))
            return httplib::Server::HandlerResponse::Unhandled;
        // Answered before its body was read: the body would otherwise be taken for the next
        // requests of the connection. Closing it is all a client with a small body notices.
        const std::string length = request.get_header_value("Content-Length");
        if ((!length.empty() && length != "0") || request.has_header("Transfer-Encoding"))
            response.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    });
}

int HttpService::bind()
{
    const ServiceConfig &config = m_context.config();
    int port = config.port;
    if (port == 0) {
        port = m_server->bind_to_any_port(config.host);
        if (port <= 0)
            throw std::runtime_error("aucun port libre sur " + config.host);
    } else if (!m_server->bind_to_port(config.host, config.port)) {
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
    m_server->listen_after_bind();
}

void HttpService::stop()
{
    m_server->stop();
}

} // namespace OrvelanNimbal::Service
