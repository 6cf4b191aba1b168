// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace OrvelanNimbal::CommandLine {

// A duration as typed after --for or --timeout: whole seconds ("90"), or amounts with their
// units, largest first, each at most once ("45s", "10m", "2h", "1d", "1h30m"). Nothing for
// anything else, zero included.
std::optional<std::chrono::seconds> parseDuration(const QString &text);

} // namespace OrvelanNimbal::CommandLine
