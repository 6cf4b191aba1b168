// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "client/Wakeup.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace OrvelanNimbal {

// Answers from this size on are decoded on a worker thread: a listing of a few thousand files
// would otherwise hold the main thread (and every other request) for milliseconds on end.
inline constexpr qsizetype offThreadDecodingSize = 256 * 1024;

// Runs `decode(body)` and hands its result (or its exception) back to the awaiting coroutine.
template <class Decode>
QCoro::Task<std::invoke_result_t<Decode, const QByteArray &>> decodeOffMainThread(QByteArray body,
                                                                                  Decode decode)
{
    using Result = std::invoke_result_t<Decode, const QByteArray &>;
    if (body.size() < offThreadDecodingSize)
        co_return decode(body);
    // Shared with the worker, which may outlive this coroutine if it is destroyed meanwhile. The
    // result is moved out, never copied: a listing is tens of megabytes.
    struct Outcome {
        QByteArray body;
        std::optional<Result> result;
        std::exception_ptr failure;
    };
    auto outcome = std::make_shared<Outcome>();
    outcome->body = std::move(body);
    // Woken through our own Wakeup, which resumes once however often the watcher reports.
    Wakeup finished;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, [&finished] { finished.fire(); });
    watcher.setFuture(QtConcurrent::run([outcome, decode] {
        try {
            outcome->result.emplace(decode(outcome->body));
        } catch (...) {
            outcome->failure = std::current_exception();
        }
        outcome->body = QByteArray(); // the answer is no longer needed
    }));
    co_await finished.wait();
    if (outcome->failure)
        std::rethrow_exception(outcome->failure);
    co_return std::move(*outcome->result);
}

} // namespace OrvelanNimbal
