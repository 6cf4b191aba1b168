// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <queue>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace OrvelanNimbal::Service {

class Connection;
class PushedBody;

// Every connection of the server that is not being answered, watched by one thread at once
// (epoll): fresh connections and kept-alive ones waiting for a request, event streams between
// two writes, refused clients whose last bytes are read and dropped before the close. None of
// them holds a worker: a connection goes to one only once a whole request head is in, and comes
// back when the answer is out. A client that sends nothing, or a head slowly, costs a socket
// and a few bytes, and is closed when its time is up.
class ConnectionLoop {
public:
    struct Limits {
        std::chrono::milliseconds idle{5000};       // silence allowed before a request
        std::chrono::milliseconds wholeHead{10000}; // a head begun must be whole by then
        std::size_t largestHead = 64 * 1024;
        int perClient = 1536; // connections open at once from one address
        int total = 8192;     // from every address together
        // A client still sending a refused body is read and dropped this long, up to this
        // much, so that it reads the refusal rather than a reset connection.
        std::chrono::milliseconds drainTime{2000};
        std::int64_t mostDrained = std::int64_t(64) << 20;
        // Bytes of a pushed body a client may leave unread before it is taken for gone.
        std::size_t mostUnsent = 1 << 20;
    };

    // On the loop's thread, with a connection whose request head is whole: to be answered
    // elsewhere, then handed back.
    using Dispatch = std::function<void(std::unique_ptr<Connection>)>;

    ConnectionLoop(Limits limits, Dispatch dispatch);
    ~ConnectionLoop();
    ConnectionLoop(const ConnectionLoop &) = delete;
    ConnectionLoop &operator=(const ConnectionLoop &) = delete;

    void start();
    // Lets pushed bodies write what ending them wrote, closes every connection, and joins the
    // thread. Connections handed over afterwards are closed at once.
    void stop();

    // From any thread.
    // A socket just accepted; closed at once beyond the limits.
    void adopt(int socket);
    // Answered: wait for its next request (one already read ahead is dispatched at once).
    void resume(std::unique_ptr<Connection> connection);
    // Answered, and no more: the client's last bytes are read and dropped, then it is closed.
    void finish(std::unique_ptr<Connection> connection);
    // Broken: closed now.
    void drop(std::unique_ptr<Connection> connection);
    // Its answer goes on with its pushedBody, written from here.
    void push(std::unique_ptr<Connection> connection);

private:
    struct Entry {
        enum class State { awaitingHead, pushing, draining };
        std::unique_ptr<Connection> connection;
        State state = State::awaitingHead;
        bool watched = false;        // known to epoll
        bool watchingWrites = false; // a pushed body waits for room in the socket
        std::uint64_t timer = 0;     // the generation of its live timer; others are stale
        std::shared_ptr<PushedBody> body;
        std::shared_ptr<std::atomic<bool>> wakePosted;
        std::string unsent;
        bool bodyEnded = false;
        std::int64_t drained = 0;
    };
    struct Message {
        enum class Kind { adopt, resume, finish, drop, push, wake };
        Kind kind = Kind::adopt;
        int socket = -1;
        std::unique_ptr<Connection> connection;
        std::uint64_t key = 0;
    };
    struct Timer {
        std::chrono::steady_clock::time_point at;
        std::uint64_t key;
        std::uint64_t generation;
        bool operator>(const Timer &other) const { return at > other.at; }
    };

    void post(Message message);
    void run();
    bool takeMessages();
    void shutDown();

    void admit(int socket);
    std::uint64_t insert(std::unique_ptr<Connection> connection);
    void awaitHead(std::uint64_t key);
    void drain(std::uint64_t key);
    void startPush(std::uint64_t key);
    void watch(std::uint64_t key, std::uint32_t events);
    void arm(std::uint64_t key, std::chrono::steady_clock::time_point at);
    int millisecondsToNextTimer() const;
    void fireTimers();

    void onReady(std::uint64_t key, std::uint32_t events);
    void readHead(std::uint64_t key);
    void dropInput(std::uint64_t key);
    void dispatch(std::uint64_t key);
    void runBody(std::uint64_t key);
    void flush(std::uint64_t key);
    void close(std::uint64_t key);
    std::unique_ptr<Connection> detach(std::uint64_t key);
    void release(std::unique_ptr<Connection> connection);

    const Limits m_limits;
    const Dispatch m_dispatch;
    int m_epoll = -1;
    int m_wakeEvent = -1;
    std::thread m_thread;

    std::mutex m_inboxMutex;
    std::vector<Message> m_inbox;
    bool m_stopRequested = false;
    bool m_stopped = false;

    // The loop's thread only.
    std::unordered_map<std::uint64_t, Entry> m_entries;
    std::uint64_t m_nextKey = 1;
    std::uint64_t m_nextTimer = 0;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> m_timers;
    std::unordered_map<std::string, int> m_perClient;
    int m_total = 0;
};

} // namespace OrvelanNimbal::Service
