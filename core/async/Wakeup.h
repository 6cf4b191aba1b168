// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <atomic>
#include <coroutine>

namespace OrvelanNimbal {

// An awaitable that one coroutine waits on until something calls fire(): a timer, a reply, a
// cancellation. fire() may be called from any thread and any number of times; the waiter is
// resumed once, later, from the event loop of the thread that created the Wakeup. Resuming
// from the event loop, never from inside the caller of fire(), means the waiter may freely
// destroy the object whose signal woke it.
class Wakeup {
public:
    Wakeup() = default;
    Wakeup(const Wakeup &) = delete;
    Wakeup &operator=(const Wakeup &) = delete;

    void fire()
    {
        if (m_fired.exchange(true))
            return;
        QMetaObject::invokeMethod(
            &m_context, [this] { resume(); }, Qt::QueuedConnection);
    }

    bool hasFired() const { return m_fired.load(); }

    // co_await wakeup.wait();
    auto wait()
    {
        struct Awaiter {
            Wakeup *wakeup;
            // Ready when the wake-up was delivered before anybody waited for it.
            bool await_ready() const noexcept { return wakeup->m_resumePending; }
            void await_suspend(std::coroutine_handle<> waiter) noexcept
            {
                wakeup->m_waiter = waiter;
            }
            void await_resume() const noexcept {}
        };
        return Awaiter{this};
    }

private:
    void resume()
    {
        if (!m_waiter) {
            m_resumePending = true;
            return;
        }
        // Nothing of `this` may be touched after resume(): the waiter may destroy us.
        std::exchange(m_waiter, {}).resume();
    }

    QObject m_context; // lives on the creating thread; deleting it drops an undelivered wake-up
    std::atomic<bool> m_fired = false;
    bool m_resumePending = false;
    std::coroutine_handle<> m_waiter;
};

} // namespace OrvelanNimbal
