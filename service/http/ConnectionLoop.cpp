// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/ConnectionLoop.h"

#include "http/Connection.h"
#include "http/PushedBody.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace OrvelanNimbal::Service {

namespace {

using Clock = std::chrono::steady_clock;

// The eventfd that wakes the loop for its messages; connections have keys from 1 on.
constexpr std::uint64_t wakeKey = 0;
constexpr int eventsPerWait = 256;
constexpr std::size_t readPiece = 16 * 1024;
constexpr std::string_view lastChunk = "0\r\n\r\n";
// What a head too large to read gets; whatever it was, it goes no further.
constexpr std::string_view headTooLarge =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\n"
    "Content-Length: 0\r\n\r\n";

std::string chunk(std::string_view bytes)
{
    char size[20];
    const int length = std::snprintf(size, sizeof(size), "%zx\r\n", bytes.size());
    std::string framed(size, size_t(length));
    framed.append(bytes);
    framed.append("\r\n");
    return framed;
}

// How a read went: bytes taken, nothing more for now, the client closed its side, or an error.
enum class Received { bytes, later, closed, failed };

Received receive(int socket, char *into, std::size_t size, ssize_t &count)
{
    for (;;) {
        count = ::recv(socket, into, size, 0);
        if (count > 0)
            return Received::bytes;
        if (count == 0)
            return Received::closed;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? Received::later : Received::failed;
    }
}

} // namespace

ConnectionLoop::ConnectionLoop(Limits limits, Dispatch dispatch)
    : m_limits(limits)
    , m_dispatch(std::move(dispatch))
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wakeEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epoll < 0 || m_wakeEvent < 0)
        throw std::runtime_error(std::string("boucle des connexions impossible : ")
                                 + std::strerror(errno));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = wakeKey;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeEvent, &event);
}

ConnectionLoop::~ConnectionLoop()
{
    stop();
    ::close(m_wakeEvent);
    ::close(m_epoll);
}

void ConnectionLoop::start()
{
    m_thread = std::thread([this] { run(); });
}

void ConnectionLoop::stop()
{
    {
        std::lock_guard lock(m_inboxMutex);
        m_stopRequested = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeEvent, &one, sizeof(one));
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void ConnectionLoop::adopt(int socket)
{
    Message message;
    message.kind = Message::Kind::adopt;
    message.socket = socket;
    post(std::move(message));
}

void ConnectionLoop::resume(std::unique_ptr<Connection> connection)
{
    post({Message::Kind::resume, -1, std::move(connection), 0});
}

void ConnectionLoop::finish(std::unique_ptr<Connection> connection)
{
    post({Message::Kind::finish, -1, std::move(connection), 0});
}

void ConnectionLoop::drop(std::unique_ptr<Connection> connection)
{
    post({Message::Kind::drop, -1, std::move(connection), 0});
}

void ConnectionLoop::push(std::unique_ptr<Connection> connection)
{
    post({Message::Kind::push, -1, std::move(connection), 0});
}

void ConnectionLoop::post(Message message)
{
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_inboxMutex);
        if (m_stopped) {
            // Nobody is left to wait on it: a connection goes now, a socket with it.
            if (message.kind == Message::Kind::adopt)
                ::close(message.socket);
            return;
        }
        wasEmpty = m_inbox.empty();
        m_inbox.push_back(std::move(message));
    }
    if (wasEmpty) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeEvent, &one, sizeof(one));
    }
}

void ConnectionLoop::run()
{
    epoll_event events[eventsPerWait];
    for (;;) {
        const int count = ::epoll_wait(m_epoll, events, eventsPerWait, millisecondsToNextTimer());
        for (int i = 0; i < count; ++i) {
            if (events[i].data.u64 == wakeKey) {
                std::uint64_t ignored = 0;
                [[maybe_unused]] const auto read = ::read(m_wakeEvent, &ignored, sizeof(ignored));
                continue;
            }
            onReady(events[i].data.u64, events[i].events);
        }
        if (!takeMessages())
            break;
        fireTimers();
    }
    shutDown();
}

bool ConnectionLoop::takeMessages()
{
    std::vector<Message> messages;
    bool stopping = false;
    {
        std::lock_guard lock(m_inboxMutex);
        messages.swap(m_inbox);
        stopping = m_stopRequested;
    }
    for (Message &message : messages) {
        switch (message.kind) {
        case Message::Kind::adopt:
            admit(message.socket);
            break;
        case Message::Kind::resume:
            if (message.connection->hasWholeHead())
                m_dispatch(std::move(message.connection)); // read ahead: answered at once
            else
                awaitHead(insert(std::move(message.connection)));
            break;
        case Message::Kind::finish:
            drain(insert(std::move(message.connection)));
            break;
        case Message::Kind::drop:
            release(std::move(message.connection));
            break;
        case Message::Kind::push:
            startPush(insert(std::move(message.connection)));
            break;
        case Message::Kind::wake: {
            // A wake may arrive after its body ended and the connection went on to another
            // request: it is then for nobody.
            const auto found = m_entries.find(message.key);
            if (found != m_entries.end() && found->second.state == Entry::State::pushing) {
                found->second.wakePosted->store(false);
                runBody(message.key);
            }
            break;
        }
        }
    }
    return !stopping;
}

void ConnectionLoop::shutDown()
{
    std::vector<std::uint64_t> keys;
    for (const auto &[key, entry] : m_entries)
        keys.push_back(key);
    // Bodies ended by the stop (event streams) write their end before their connection goes.
    for (const std::uint64_t key : keys) {
        const auto found = m_entries.find(key);
        if (found != m_entries.end() && found->second.state == Entry::State::pushing)
            runBody(key);
    }
    keys.clear();
    for (const auto &[key, entry] : m_entries)
        keys.push_back(key);
    for (const std::uint64_t key : keys)
        close(key);
    std::vector<Message> left;
    {
        std::lock_guard lock(m_inboxMutex);
        m_stopped = true;
        left.swap(m_inbox);
    }
    for (const Message &message : left) {
        if (message.kind == Message::Kind::adopt)
            ::close(message.socket);
    }
}

void ConnectionLoop::admit(int socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    std::string peer;
    int port = -1;
    if (::getpeername(socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        describeAddress(address, peer, port);
    if (m_total >= m_limits.total || m_perClient[peer] >= m_limits.perClient) {
        if (m_perClient[peer] == 0)
            m_perClient.erase(peer);
        ::close(socket);
        return;
    }
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
    // Answers go out in several small writes (a head, then chunks); held back until the
    // previous one is acknowledged, each would wait for the client's delayed acknowledgement.
    const int yes = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    ++m_total;
    ++m_perClient[peer];
    awaitHead(insert(std::make_unique<Connection>(socket, std::move(peer), port)));
}

std::uint64_t ConnectionLoop::insert(std::unique_ptr<Connection> connection)
{
    const std::uint64_t key = m_nextKey++;
    m_entries[key].connection = std::move(connection);
    return key;
}

void ConnectionLoop::watch(std::uint64_t key, std::uint32_t events)
{
    Entry &entry = m_entries.at(key);
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    ::epoll_ctl(m_epoll, entry.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, entry.connection->socket(),
                &event);
    entry.watched = true;
    entry.watchingWrites = (events & EPOLLOUT) != 0;
}

void ConnectionLoop::arm(std::uint64_t key, Clock::time_point at)
{
    Entry &entry = m_entries.at(key);
    entry.timer = ++m_nextTimer;
    m_timers.push({at, key, entry.timer});
}

void ConnectionLoop::awaitHead(std::uint64_t key)
{
    Entry &entry = m_entries.at(key);
    entry.state = Entry::State::awaitingHead;
    watch(key, EPOLLIN | EPOLLRDHUP);
    const bool begun = !entry.connection->unread().empty();
    arm(key, Clock::now() + (begun ? m_limits.wholeHead : m_limits.idle));
}

void ConnectionLoop::drain(std::uint64_t key)
{
    Entry &entry = m_entries.at(key);
    entry.state = Entry::State::draining;
    // The answer is out: the client sees the end of it, and whatever it still sends is read
    // and dropped until it closes its side, or until it has had its time or its bytes.
    ::shutdown(entry.connection->socket(), SHUT_WR);
    watch(key, EPOLLIN | EPOLLRDHUP);
    arm(key, Clock::now() + m_limits.drainTime);
}

void ConnectionLoop::startPush(std::uint64_t key)
{
    Entry &entry = m_entries.at(key);
    entry.state = Entry::State::pushing;
    entry.body = std::move(entry.connection->pushedBody);
    entry.wakePosted = std::make_shared<std::atomic<bool>>(false);
    watch(key, EPOLLIN | EPOLLRDHUP);
    // A wake posted more than once before the loop sees it is one wake.
    entry.body->setWaker([this, key, posted = entry.wakePosted] {
        if (!posted->exchange(true))
            post({Message::Kind::wake, -1, nullptr, key});
    });
    runBody(key);
}

int ConnectionLoop::millisecondsToNextTimer() const
{
    if (m_timers.empty())
        return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_timers.top().at - Clock::now());
    return int(std::max<std::int64_t>(0, left.count()));
}

void ConnectionLoop::fireTimers()
{
    const Clock::time_point now = Clock::now();
    while (!m_timers.empty() && m_timers.top().at <= now) {
        const Timer timer = m_timers.top();
        m_timers.pop();
        const auto found = m_entries.find(timer.key);
        if (found == m_entries.end() || found->second.timer != timer.generation)
            continue;
        if (found->second.state == Entry::State::pushing)
            runBody(timer.key);
        else
            close(timer.key); // silent too long, or drained long enough
    }
}

void ConnectionLoop::onReady(std::uint64_t key, std::uint32_t events)
{
    const auto found = m_entries.find(key);
    if (found == m_entries.end())
        return;
    switch (found->second.state) {
    case Entry::State::awaitingHead:
        readHead(key);
        break;
    case Entry::State::pushing:
        if (events & EPOLLOUT)
            flush(key);
        // A client of a pushed body only listens: anything it sends is dropped, and its end
        // ends the body, rather than the next write finding it gone.
        if (events & ~std::uint32_t(EPOLLOUT)) {
            const auto still = m_entries.find(key);
            if (still != m_entries.end() && still->second.state == Entry::State::pushing)
                dropInput(key);
        }
        break;
    case Entry::State::draining:
        dropInput(key);
        break;
    }
}

void ConnectionLoop::readHead(std::uint64_t key)
{
    Connection &connection = *m_entries.at(key).connection;
    const bool begun = !connection.unread().empty();
    char piece[readPiece];
    Received result = Received::later;
    while (!connection.hasWholeHead() && connection.unread().size() <= m_limits.largestHead) {
        ssize_t count = 0;
        result = receive(connection.socket(), piece, sizeof(piece), count);
        if (result != Received::bytes)
            break;
        connection.append(piece, size_t(count));
    }
    if (connection.hasWholeHead())
        return dispatch(key);
    if (result == Received::closed || result == Received::failed)
        return close(key);
    if (connection.unread().size() > m_limits.largestHead) {
        [[maybe_unused]] const auto sent =
            ::send(connection.socket(), headTooLarge.data(), headTooLarge.size(), MSG_NOSIGNAL);
        return drain(key);
    }
    if (!begun && !connection.unread().empty())
        arm(key, Clock::now() + m_limits.wholeHead);
}

void ConnectionLoop::dropInput(std::uint64_t key)
{
    Entry &entry = m_entries.at(key);
    char piece[readPiece];
    for (;;) {
        ssize_t count = 0;
        const Received result = receive(entry.connection->socket(), piece, sizeof(piece), count);
        if (result == Received::later)
            return;
        if (result != Received::bytes)
            return close(key);
        entry.drained += count;
        if (entry.drained > m_limits.mostDrained)
            return close(key);
    }
}

void ConnectionLoop::dispatch(std::uint64_t key)
{
    m_dispatch(detach(key));
}

void ConnectionLoop::runBody(std::uint64_t key)
{
    Entry &entry = m_entries.at(key);
    if (entry.bodyEnded)
        return;
    const Clock::time_point now = Clock::now();
    for (bool asking = true; asking;) {
        PushedBody::Step step = entry.body->next(now);
        switch (step.kind) {
        case PushedBody::Step::Kind::write:
            entry.unsent += chunk(step.bytes);
            break;
        case PushedBody::Step::Kind::end:
            entry.unsent += lastChunk;
            entry.bodyEnded = true;
            asking = false;
            break;
        case PushedBody::Step::Kind::waitUntil:
            arm(key, step.until);
            asking = false;
            break;
        case PushedBody::Step::Kind::waitForNews:
            entry.timer = ++m_nextTimer; // whatever was armed is stale now
            asking = false;
            break;
        }
    }
    flush(key);
}

void ConnectionLoop::flush(std::uint64_t key)
{
    Entry &entry = m_entries.at(key);
    while (!entry.unsent.empty()) {
        const ssize_t sent = ::send(entry.connection->socket(), entry.unsent.data(),
                                    entry.unsent.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            entry.unsent.erase(0, size_t(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        return close(key);
    }
    if (!entry.unsent.empty()) {
        if (entry.unsent.size() > m_limits.mostUnsent)
            return close(key); // it stopped reading long ago
        if (!entry.watchingWrites)
            watch(key, EPOLLIN | EPOLLRDHUP | EPOLLOUT);
        return;
    }
    if (entry.watchingWrites)
        watch(key, EPOLLIN | EPOLLRDHUP);
    if (!entry.bodyEnded)
        return;
    // The body is over and its end sent: the connection carries the next request, if any.
    entry.body->setWaker({});
    entry.body.reset();
    entry.bodyEnded = false;
    if (entry.connection->keepAlive)
        awaitHead(key);
    else
        drain(key);
}

std::unique_ptr<Connection> ConnectionLoop::detach(std::uint64_t key)
{
    const auto found = m_entries.find(key);
    Entry &entry = found->second;
    if (entry.watched)
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, entry.connection->socket(), nullptr);
    if (entry.body)
        entry.body->setWaker({});
    std::unique_ptr<Connection> connection = std::move(entry.connection);
    m_entries.erase(found);
    return connection;
}

void ConnectionLoop::close(std::uint64_t key)
{
    release(detach(key));
}

void ConnectionLoop::release(std::unique_ptr<Connection> connection)
{
    --m_total;
    const auto found = m_perClient.find(connection->peer());
    if (found != m_perClient.end() && --found->second <= 0)
        m_perClient.erase(found);
}

} // namespace OrvelanNimbal::Service
