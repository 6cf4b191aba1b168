// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"

#include <QCoro/QCoroTask>

#include <type_traits>

namespace OrvelanNimbal {

// Awaits `task` for an owner that may be torn down while it runs. Once `cancel` has fired,
// the caller sees OperationCancelled, whatever the task ended with: a result that arrives
// after the owner cancelled its work (when it went away, say) is never delivered into it.
template <class T>
QCoro::Task<T> unlessCancelled(QCoro::Task<T> task, CancellationToken cancel)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            cancel.throwIfCancelled();
        } else {
            T value = co_await std::move(task);
            cancel.throwIfCancelled();
            co_return value;
        }
    } catch (const OperationCancelled &) {
        throw;
    } catch (...) {
        cancel.throwIfCancelled();
        throw;
    }
}

} // namespace OrvelanNimbal
