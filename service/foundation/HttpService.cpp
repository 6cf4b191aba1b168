// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/HttpService.h"

#include "admin/FaultInjector.h"
#include "admin/RequestLog.h"
#include "foundation/ApiPaths.h"
#include "foundation/JsonHttp.h"
#include "foundation/RouteRegistry.h"
#include "foundation/ServiceContext.h"
#include "http/BodyRules.h"
#include "http/Connection.h"
#include "http/OpenFileLimit.h"
#include "http/RequestServer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace OrvelanNimbal::Service {

namespace {

// Files the service keeps for itself beyond its connections: the database, content being
// written or read, the standard streams.
constexpr std::int64_t filesKeptAside = 256;

bool isTestControlPath(const std::string &path)
{
    return path.rfind(testControlPrefix + "/", 0) == 0;
}

RequestServer::Settings serverSettings()
{
    RequestServer::Settings settings;
    const std::int64_t files = raiseOpenFileLimit();
    settings.limits.total =
        int(std::clamp<std::int64_t>(files - filesKeptAside, 64, settings.limits.total));
    return settings;
}

} // namespace

HttpService::HttpService(ServiceContext &context)
    : m_context(context)
    , m_bodyRules(context.component<BodyRules>())
    , m_apiWorkers(size_t(context.config().apiWorkers))
    , m_transferWorkers(size_t(context.config().transferWorkers))
    , m_server(std::make_unique<RequestServer>(
          serverSettings(),
          [this](std::unique_ptr<Connection> connection) { dispatch(std::move(connection)); }))
{
    // Answers go out in several small writes (the head, then each chunk of a body); the
    // accepted sockets inherit this from the listening one, and the loop sets it again.
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

HttpService::~HttpService()
{
    stop();
    m_server->connections().stop();
    // Requests already given to a worker are answered; their connections are then closed.
    m_apiWorkers.shutdown();
    m_transferWorkers.shutdown();
}

void HttpService::dispatch(std::unique_ptr<Connection> connection)
{
    httplib::ThreadPool &workers = isTransfer(*connection) ? m_transferWorkers : m_apiWorkers;
    workers.enqueue([this, taken = connection.release()] {
        m_server->answer(std::unique_ptr<Connection>(taken));
    });
}

bool HttpService::isTransfer(const Connection &connection) const
{
    const std::string_view target = connection.target();
    if (target.rfind(storagePrefix + "/", 0) == 0)
        return true;
    // Uploads carry content to disk, whatever their address.
    const BodyRule *rule =
        m_bodyRules.find(connection.method(), std::string(target.substr(0, target.find('?'))));
    return rule && rule->kind != BodyRule::Kind::json;
}

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
    // A client that waits for leave to send its body hears the refusal instead.
    m_server->set_expect_100_continue_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
            return m_bodyRules.admit(m_context, request, response) ? 100 : response.status;
        });
    // Runs once the head is read and before any byte of the body is: whatever it answers, the
    // body stays unread, and the connection ends with the answer.
    m_server->set_pre_routing_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
            if (m_context.config().testControls && !isTestControlPath(request.path)) {
                m_context.component<RequestLog>().record(request.method, request.path);
                const auto fault =
                    m_context.component<FaultInjector>().take(request.method, request.path);
                if (fault && FaultInjector::apply(*fault, response))
                    return httplib::Server::HandlerResponse::Handled;
            }
            return m_bodyRules.admit(m_context, request, response)
                       ? httplib::Server::HandlerResponse::Unhandled
                       : httplib::Server::HandlerResponse::Handled;
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
    m_server->stopKeepingAlive();
    m_server->stop();
    m_server->connections().stop();
}

} // namespace OrvelanNimbal::Service
