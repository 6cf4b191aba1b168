// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the library, the application and the extension: each has disk or CPU-heavy work
// that must not stall its event loop. Needs Qt Concurrent, which the library passes on.

#include "async/Wakeup.h"

#include <QCoro/QCoroTask>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace OrvelanNimbal {

namespace detail {

template <class Result>
struct OffThreadOutcome {
    std::optional<Result> value;
    std::exception_ptr failure;
};

// Woken through our own Wakeup rather than by awaiting the QFuture directly: QCoro 0.8 can
// resume a coroutine twice when a future's watcher reports more than once.
template <class Result>
QCoro::Task<Result> awaitOffThread(QFuture<void> future,
                                   std::shared_ptr<OffThreadOutcome<Result>> outcome)
{
    Wakeup finished;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &watcher,
                     [&finished] { finished.fire(); });
    watcher.setFuture(future);
    co_await finished.wait();
    if (outcome->failure)
        std::rethrow_exception(outcome->failure);
    co_return std::move(*outcome->value);
}

} // namespace detail

// Runs `work` on the shared thread pool and resumes the caller on its own thread once it is
// done, so that disk or CPU-heavy work never stalls the event loop. Whatever `work` throws is
// rethrown to the caller unchanged: the pool itself only carries QException subclasses and
// would hand back our errors as QUnhandledException. The outcome is shared with the worker,
// which may outlive an abandoned caller, and is moved out, never copied.
//
// Not a coroutine itself, so that callers can hand it a lambda from a plain function: GCC 12
// destroys a capturing lambda written inside a co_await expression twice (name it first).
template <class Work>
QCoro::Task<std::invoke_result_t<Work>> runOffMainThread(Work work)
{
    using Result = std::invoke_result_t<Work>;
    static_assert(!std::is_void_v<Result>, "the work must return its result");
    auto outcome = std::make_shared<detail::OffThreadOutcome<Result>>();
    QFuture<void> future = QtConcurrent::run([outcome, work = std::move(work)]() mutable {
        try {
            outcome->value.emplace(work());
        } catch (...) {
            outcome->failure = std::current_exception();
        }
    });
    return detail::awaitOffThread<Result>(std::move(future), std::move(outcome));
}

} // namespace OrvelanNimbal
