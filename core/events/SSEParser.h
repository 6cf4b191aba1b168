// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/ServerSentEvent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <optional>
#include <vector>

namespace OrvelanNimbal {

// Incremental parser of the text/event-stream format. Bytes arrive in whatever pieces the
// network makes; the parser keeps an unfinished line, and the fields of the event being built,
// until the bytes that complete them arrive.
//
// Lines end at a line feed only; one carriage return just before it is dropped, a carriage
// return anywhere else is an ordinary character. Each whole line is decoded as UTF-8 on its
// own (invalid sequences become U+FFFD), so a character cut between two chunks decodes whole.
// A byte-order mark that opens the stream is skipped; any later U+FEFF is kept as it is.
class SSEParser {
public:
    // The events that this chunk completes, in order; usually none.
    std::vector<ServerSentEvent> feed(QByteArrayView chunk);

private:
    std::optional<ServerSentEvent> processLine(QByteArrayView line);
    std::optional<ServerSentEvent> dispatch();

    QString m_eventType;
    QStringList m_dataLines;
    QByteArray m_pending; // bytes after the last line feed; never contains one
    bool m_atStreamStart = true;
};

} // namespace OrvelanNimbal
