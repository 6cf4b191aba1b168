// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/RequestServer.h"

#include "http/Connection.h"
#include "http/ConnectionStream.h"
#include "http/PushedBody.h"

#include <charconv>

namespace OrvelanNimbal::Service {

namespace {

// The library runs what its accept loop queues; here that is handing the socket to the loop,
// which takes no time, so it runs on the accepting thread itself.
class HandOver final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> task) override { task(); }
    void shutdown() override {}
};

// The request a worker is answering. The library's hooks and a handler's content provider run
// on that worker, inside answer(), and learn from here which connection they are part of.
struct Answering {
    Connection &connection;
    ConnectionStream &stream;
    bool closeAfter = false;
};
thread_local Answering *answering = nullptr;

std::int64_t contentLength(const httplib::Request &request)
{
    const std::string text = request.get_header_value("Content-Length");
    std::int64_t length = 0;
    std::from_chars(text.data(), text.data() + text.size(), length);
    return length;
}

} // namespace

RequestServer::RequestServer(Settings settings, ConnectionLoop::Dispatch dispatch)
    : m_settings(settings)
    , m_loop(settings.limits, std::move(dispatch))
{
    new_task_queue = [] { return new HandOver; };
    // Only what the answers announce: the loop keeps the time, and answer() the count.
    set_keep_alive_max_count(size_t(settings.requestsPerConnection));
    set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(settings.limits.idle).count());
    set_post_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        noteAnswer(request, response);
    });
    m_loop.start();
}

RequestServer::~RequestServer()
{
    m_loop.stop();
}

bool RequestServer::process_and_close_socket(socket_t socket)
{
    m_loop.adopt(socket);
    return true;
}

void RequestServer::answer(std::unique_ptr<Connection> connection)
{
    ConnectionStream stream(*connection, m_settings.ioTimeout);
    Answering current{*connection, stream, false};
    answering = &current;
    const bool last =
        m_stopping || connection->requestsAnswered + 1 >= m_settings.requestsPerConnection;
    bool clientCloses = false;
    const bool written = process_request(stream, last, clientCloses,
                                         [&stream](httplib::Request &) { stream.markBodyStart(); });
    answering = nullptr;
    ++connection->requestsAnswered;
    connection->keepAlive = !last && !clientCloses && !current.closeAfter;
    if (connection->pushedBody)
        return m_loop.push(std::move(connection));
    if (!written)
        return m_loop.drop(std::move(connection));
    if (!connection->keepAlive)
        return m_loop.finish(std::move(connection));
    m_loop.resume(std::move(connection));
}

void RequestServer::noteAnswer(const httplib::Request &request, httplib::Response &response)
{
    if (!answering)
        return;
    if (response.get_header_value("Connection") == "close")
        answering->closeAfter = true;
    // Body bytes left unread would be taken for the next request: a connection whose answer
    // came before its body was read (a refusal) ends with that answer.
    if (request.has_header("Transfer-Encoding"))
        answering->closeAfter = answering->closeAfter || response.status >= 400;
    else if (answering->stream.bodyBytesRead() < contentLength(request))
        answering->closeAfter = true;
    // The client hears it from the answer itself.
    if (answering->closeAfter) {
        response.headers.erase("Keep-Alive");
        response.set_header("Connection", "close");
    }
}

void handOverBody(std::shared_ptr<PushedBody> body)
{
    if (answering)
        answering->connection.pushedBody = std::move(body);
}

} // namespace OrvelanNimbal::Service
