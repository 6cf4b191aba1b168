// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "async/Wakeup.h"

#include <QCoro/QCoroTask>
#include <QMutex>

#include <functional>
#include <memory>
#include <optional>
#include <tuple>

namespace OrvelanNimbal {

// One answer of the file-provider system to one call, handed to the coroutine that made the
// call, on that coroutine's thread. The system may answer from any thread, late, twice or
// never: the first answer counts, an answer that comes after the waiter left goes nowhere, and
// a wait whose token fires ends with OperationCancelled even when the answer is already on its
// way, so that a waiter never resumes into an owner that is being torn down.
template <class... Values>
class SystemReply {
public:
    SystemReply()
        : m_channel(std::make_shared<Channel>())
    {
        m_channel->wakeup = &m_wakeup;
    }
    ~SystemReply()
    {
        // Once this returns, no completion can reach the wake-up that is about to go.
        const QMutexLocker lock(&m_channel->lock);
        m_channel->wakeup = nullptr;
    }
    SystemReply(const SystemReply &) = delete;
    SystemReply &operator=(const SystemReply &) = delete;

    // What to hand to the system as its completion; any thread may call it.
    std::function<void(Values...)> completion() const
    {
        return [channel = m_channel](Values... values) {
            const QMutexLocker lock(&channel->lock);
            if (channel->answer)
                return;
            channel->answer.emplace(std::move(values)...);
            if (channel->wakeup)
                channel->wakeup->fire();
        };
    }

    QCoro::Task<std::tuple<Values...>> wait(CancellationToken cancel)
    {
        const auto onCancel = cancel.onCancel([this] { m_wakeup.fire(); });
        co_await m_wakeup.wait();
        cancel.throwIfCancelled();
        const QMutexLocker lock(&m_channel->lock);
        co_return std::move(*m_channel->answer);
    }

private:
    struct Channel {
        QMutex lock;
        Wakeup *wakeup = nullptr;
        std::optional<std::tuple<Values...>> answer;
    };

    Wakeup m_wakeup;
    std::shared_ptr<Channel> m_channel;
};

} // namespace OrvelanNimbal
