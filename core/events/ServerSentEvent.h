// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal {

// One event of a text/event-stream: its name ("message" when the service gave none) and its
// data lines joined with a line feed.
struct ServerSentEvent {
    QString event;
    QString data;

    friend bool operator==(const ServerSentEvent &, const ServerSentEvent &) = default;
};

} // namespace OrvelanNimbal
