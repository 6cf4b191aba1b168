// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace OrvelanNimbal::Service {

class ServiceContext;

// Ends the multipart uploads whose client went away without an abort (killed, or gone for
// good): an upload that stored no part for the idle lifetime (a day) is discarded, its parts
// with it, by a thread of its own from the service's start to its end. It looks at once when
// started, then every quarter of the lifetime (between a second and ten minutes), and again
// whenever wake() says the lifetime changed.
class UploadExpiry {
public:
    explicit UploadExpiry(ServiceContext &context);
    ~UploadExpiry(); // stops the thread, if started, and waits for it
    UploadExpiry(const UploadExpiry &) = delete;
    UploadExpiry &operator=(const UploadExpiry &) = delete;

    // Once, when the service starts serving.
    void start();
    // Looks again now, from any thread.
    void wake();

    // How long the thread sleeps between two looks for an idle lifetime of `seconds`.
    static std::chrono::milliseconds interval(std::int64_t seconds);

private:
    void run();

    ServiceContext &m_context;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace OrvelanNimbal::Service
