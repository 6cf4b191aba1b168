// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Included by the library's own sources only: it needs Qt Concurrent, which the library links
// privately.

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <optional>
#include <type_traits>

namespace OrvelanNimbal {

namespace detail {

template <class Result>
struct OffThreadOutcome {
    std::optional<Result> value;
    std::exception_ptr failure;
};

template <class Result>
QCoro::Task<Result> awaitOffThread(QFuture<OffThreadOutcome<Result>> future) {
    OffThreadOutcome<Result> outcome = co_await future;
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    co_return std::move(*outcome.value);
}

} // namespace detail

// Runs `work` on the shared thread pool and resumes the caller on its own thread once it is
// done, so that disk or CPU-heavy work never stalls the event loop. Whatever `work` throws is
// rethrown to the caller unchanged: the pool itself only carries QException subclasses and
// would hand back our errors as QUnhandledException.
//
// Not a coroutine itself, so that callers can hand it a lambda from a plain function: GCC 12
// destroys a capturing lambda written inside a co_await expression twice (name it first).
template <class Work>
QCoro::Task<std::invoke_result_t<Work>> runOffMainThread(Work work) {
    using Result = std::invoke_result_t<Work>;
    static_assert(!std::is_void_v<Result>, "the work must return its result");
    return detail::awaitOffThread<Result>(QtConcurrent::run([work = std::move(work)]() mutable {
        detail::OffThreadOutcome<Result> done;
        try {
            done.value.emplace(work());
        } catch (...) {
            done.failure = std::current_exception();
        }
        return done;
    }));
}

} // namespace OrvelanNimbal
