// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <exception>
#include <optional>

namespace OrvelanNimbal::Testing {

// Runs a task to completion from a test, with a ceiling: a test that hangs fails instead of
// stalling the suite. Exceptions of the task are rethrown here. Tests only: production code
// never spins a nested event loop.
template <class T>
T runAsync(QCoro::Task<T> task, std::chrono::milliseconds ceiling = std::chrono::seconds(5))
{
    struct State {
        std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
        std::exception_ptr error;
        bool done = false;
        QEventLoop loop;
    };
    auto state = std::make_shared<State>();
    [](QCoro::Task<T> task, std::shared_ptr<State> state) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(task);
                state->value = true;
            } else {
                state->value.emplace(co_await std::move(task));
            }
        } catch (...) {
            state->error = std::current_exception();
        }
        state->done = true;
        state->loop.quit();
    }(std::move(task), state);

    if (!state->done) {
        QTimer::singleShot(ceiling, &state->loop, [&] {
            qFatal("an asynchronous test step did not finish within %lld ms",
                   static_cast<long long>(ceiling.count()));
        });
        state->loop.exec();
    }
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}

} // namespace OrvelanNimbal::Testing
