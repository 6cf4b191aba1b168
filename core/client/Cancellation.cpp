// SPDX-License-Identifier: GPL-3.0-or-later
#include "client/Cancellation.h"

#include <QMutex>

#include <atomic>
#include <map>
#include <vector>

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

    void remove(quint64 id)
    {
        QMutexLocker lock(&m_mutex);
        m_callbacks.erase(id);
    }

    void cancel()
    {
        std::map<quint64, std::function<void()>> callbacks;
        {
            QMutexLocker lock(&m_mutex);
            if (m_cancelled.exchange(true, std::memory_order_acq_rel))
                return;
            callbacks.swap(m_callbacks);
        }
        // Outside the lock: a callback may resume a coroutine that registers or unregisters.
        for (auto &[id, callback] : callbacks)
            callback();
    }

private:
    mutable QMutex m_mutex;
    std::atomic<bool> m_cancelled = false;
    quint64 m_lastId = 0;
    std::map<quint64, std::function<void()>> m_callbacks;
};

} // namespace detail

CancellationRegistration::CancellationRegistration(std::weak_ptr<detail::CancellationState> state,
                                                   quint64 id)
    : m_state(std::move(state))
    , m_id(id)
{
}

CancellationRegistration::CancellationRegistration(CancellationRegistration &&other) noexcept
    : m_state(std::move(other.m_state))
    , m_id(std::exchange(other.m_id, 0))
{
}

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
{
}

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
{
}

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
