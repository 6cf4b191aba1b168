// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "async/Wakeup.h"

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>
#include <vector>

namespace OrvelanNimbal {

// The result of one piece of work that any number of others await: the first to need it starts
// the work, the rest join it instead of doing it again. Used on one thread.
template <class T>
class SharedResult {
public:
    bool isSet() const { return m_value.has_value(); }

    // Sets the result and wakes every waiter.
    void set(T value)
    {
        m_value = std::move(value);
        for (const auto &waiter : std::exchange(m_waiters, {}))
            waiter->fire();
    }

    // The result once set. A cancel ends this wait only, not the work. Takes a shared pointer
    // so that the result outlives every wait.
    static QCoro::Task<T> wait(std::shared_ptr<SharedResult> self, CancellationToken cancel)
    {
        while (!self->m_value) {
            cancel.throwIfCancelled();
            auto waiter = std::make_shared<Wakeup>();
            self->m_waiters.push_back(waiter);
            const auto woken = cancel.onCancel([waiter] { waiter->fire(); });
            co_await waiter->wait();
        }
        co_return *self->m_value;
    }

private:
    std::optional<T> m_value;
    std::vector<std::shared_ptr<Wakeup>> m_waiters;
};

} // namespace OrvelanNimbal
