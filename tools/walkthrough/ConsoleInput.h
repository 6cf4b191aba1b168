// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

// One line from standard input, read off the main thread so that the event loop keeps
// running meanwhile; nothing at the end of the input.
QCoro::Task<std::optional<QString>> readConsoleLine();
