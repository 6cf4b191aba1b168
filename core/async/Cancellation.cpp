// SPDX-License-Identifier: GPL-3.0-or-later
#include "async/Cancellation.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <map>

namespace OrvelanNimbal {

namespace detail {

class CancellationState {
public:
    bool isCancelled() const { return m_cancelled.load(std::memory_order_acquire); }

    quint64 add(std::function<void()> callback)
    {
        {
            QMutexLocker lock(&m_mutex);
            if (!m_cancelled.load(std::memory_order_relaxed)) {
                const quint64 id = ++m_lastId;
                m_callbacks.emplace(id, std::move(callback));
                return id;
            }
        }
        callback();
        return 0;
    }

    // Once this returns, the callback is not running and never will: whoever registered it may
    // free what it touches. When another thread is running it right now, that means waiting.
    void remove(quint64 id)
    {
        QMutexLocker lock(&m_mutex);
        if (m_callbacks.erase(id) > 0)
            return;
        while (m_running == id && m_runningOn != QThread::currentThread())
            m_finished.wait(&m_mutex);
    }

    void cancel()
    {
        QMutexLocker lock(&m_mutex);
        if (m_cancelled.exchange(true, std::memory_order_acq_rel))
            return;
        // One at a time, outside the lock: a callback may resume a coroutine that registers or
        // unregisters other callbacks.
        while (!m_callbacks.empty()) {
            auto next = m_callbacks.begin();
            const std::function<void()> callback = std::move(next->second);
            m_running = next->first;
            m_runningOn = QThread::currentThread();
            m_callbacks.erase(next);
            lock.unlock();
            callback();
            lock.relock();
            m_running = 0;
            m_finished.wakeAll();
        }
    }

private:
    mutable QMutex m_mutex;
    QWaitCondition m_finished;
    std::atomic<bool> m_cancelled = false;
    quint64 m_lastId = 0;
    quint64 m_running = 0;
    QThread *m_runningOn = nullptr;
    std::map<quint64, std::function<void()>> m_callbacks;
};

} // namespace detail

CancellationRegistration::CancellationRegistration(std::weak_ptr<detail::CancellationState> state,
                                                   quint64 id)
    : m_state(std::move(state))
    , m_id(id)
{}

CancellationRegistration::CancellationRegistration(CancellationRegistration &&other) noexcept
    : m_state(std::move(other.m_state))
    , m_id(std::exchange(other.m_id, 0))
{}

CancellationRegistration &
CancellationRegistration::operator=(CancellationRegistration &&other) noexcept
{
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

CancellationRegistration::~CancellationRegistration()
{
    reset();
}

void CancellationRegistration::reset()
{
    if (m_id != 0) {
        if (auto state = m_state.lock())
            state->remove(m_id);
    }
    m_state.reset();
    m_id = 0;
}

CancellationToken::CancellationToken(std::shared_ptr<detail::CancellationState> state)
    : m_state(std::move(state))
{}

bool CancellationToken::isCancelled() const
{
    return m_state && m_state->isCancelled();
}

void CancellationToken::throwIfCancelled() const
{
    if (isCancelled())
        throw OperationCancelled();
}

CancellationRegistration CancellationToken::onCancel(std::function<void()> callback) const
{
    if (!m_state)
        return {};
    const quint64 id = m_state->add(std::move(callback));
    return id == 0 ? CancellationRegistration() : CancellationRegistration(m_state, id);
}

CancellationSource::CancellationSource()
    : m_state(std::make_shared<detail::CancellationState>())
{}

CancellationSource::CancellationSource(const CancellationToken &parent)
    : CancellationSource()
{
    std::weak_ptr<detail::CancellationState> weak = m_state;
    m_parentLink = parent.onCancel([weak] {
        if (auto state = weak.lock())
            state->cancel();
    });
}

CancellationToken CancellationSource::token() const
{
    return CancellationToken(m_state);
}

bool CancellationSource::isCancelled() const
{
    return m_state->isCancelled();
}

void CancellationSource::cancel()
{
    m_state->cancel();
}

} // namespace OrvelanNimbal
