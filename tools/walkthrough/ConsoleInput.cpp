// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsoleInput.h"

#include <QCoro/QCoroFuture>
#include <QtConcurrent>

#include <iostream>
#include <string>

QCoro::Task<std::optional<QString>> readConsoleLine()
{
    co_return co_await QtConcurrent::run([]() -> std::optional<QString> {
        std::string line;
        if (!std::getline(std::cin, line))
            return std::nullopt;
        return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
    });
}
