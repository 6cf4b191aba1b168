// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadExpiry.h"

#include "ServiceContext.h"
#include "uploads/OpenUploads.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace OrvelanNimbal::Service {

namespace {

using namespace std::chrono_literals;

} // namespace

UploadExpiry::UploadExpiry(ServiceContext &context)
    : m_context(context)
{}

UploadExpiry::~UploadExpiry()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_condition.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void UploadExpiry::start()
{
    m_thread = std::thread([this] { run(); });
}

void UploadExpiry::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_condition.notify_one();
}

std::chrono::milliseconds UploadExpiry::interval(std::int64_t seconds)
{
    // An upload is late by at most this much; a short lifetime (a test's) is looked at often.
    const std::chrono::milliseconds quarter(std::clamp<std::int64_t>(seconds, 0, 3600) * 250);
    return std::clamp<std::chrono::milliseconds>(quarter, 1s, 10min);
}

void UploadExpiry::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        try {
            OpenUploads::sweepIdle(m_context);
        } catch (const std::exception &error) {
            // The disk or the database refused for now; the next look tries again.
            std::fprintf(stderr, "nimbal-service: expiration des envois abandonnés : %s\n",
                         error.what());
        }
        lock.lock();
        m_condition.wait_for(lock, interval(m_context.lifetimes().idleUpload()),
                             [this] { return m_stopping || m_woken; });
        m_woken = false;
    }
}

} // namespace OrvelanNimbal::Service
