// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/OffMainThread.h"

#include <QByteArray>
#include <QCoro/QCoroTask>

#include <type_traits>

namespace OrvelanNimbal {

// Answers from this size on are decoded on a worker thread: a listing of a few thousand files
// would otherwise hold the main thread (and every other request) for milliseconds on end.
inline constexpr qsizetype offThreadDecodingSize = 256 * 1024;

// Runs `decode(body)`, on a worker thread when the answer is big enough to be worth it.
template <class Decode>
QCoro::Task<std::invoke_result_t<Decode, const QByteArray &>> decodeOffMainThread(QByteArray body,
                                                                                  Decode decode)
{
    if (body.size() < offThreadDecodingSize)
        co_return decode(body);
    // The answer goes with the work and is released as soon as the worker is done with it.
    auto work = [body = std::move(body), decode] { return decode(body); };
    co_return co_await runOffMainThread(std::move(work));
}

} // namespace OrvelanNimbal
