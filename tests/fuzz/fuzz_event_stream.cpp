// SPDX-License-Identifier: GPL-3.0-or-later
// The event-stream parser over any bytes: the same events whatever the network's cuts, each
// event out with the line feed that completes it, and a byte-order mark at the stream's very
// start ignored.
#include "FuzzCheck.h"
#include "events/SSEParser.h"

#include <algorithm>
#include <vector>

using namespace OrvelanNimbal;

namespace {

std::vector<ServerSentEvent> parseInPieces(QByteArrayView bytes, qsizetype pieceSize)
{
    SSEParser parser;
    std::vector<ServerSentEvent> events;
    for (qsizetype at = 0; at < bytes.size(); at += pieceSize) {
        for (auto &event : parser.feed(bytes.sliced(at, std::min(pieceSize, bytes.size() - at))))
            events.push_back(std::move(event));
    }
    return events;
}

// Cut where the input's own bytes say: each byte's low bits give the length of the next piece.
std::vector<ServerSentEvent> parseAtUnevenCuts(QByteArrayView bytes)
{
    SSEParser parser;
    std::vector<ServerSentEvent> events;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype length =
            std::min<qsizetype>(1 + (uchar(bytes[at]) & 15), bytes.size() - at);
        for (auto &event : parser.feed(bytes.sliced(at, length)))
            events.push_back(std::move(event));
        at += length;
    }
    return events;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzzing::bytesOf(data, size);
    SSEParser whole;
    const std::vector<ServerSentEvent> events = whole.feed(bytes);

    NIMBAL_FUZZ_CHECK(parseAtUnevenCuts(bytes) == events);
    NIMBAL_FUZZ_CHECK(parseInPieces(bytes, 3) == events);

    // Byte by byte, an event comes out with a line feed and never with another byte.
    SSEParser byteByByte;
    std::vector<ServerSentEvent> oneByOne;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        auto completed = byteByByte.feed(bytes.sliced(at, 1));
        NIMBAL_FUZZ_CHECK(completed.empty() || bytes[at] == '\n');
        NIMBAL_FUZZ_CHECK(completed.size() <= 1);
        for (auto &event : completed)
            oneByOne.push_back(std::move(event));
    }
    NIMBAL_FUZZ_CHECK(oneByOne == events);

    const QByteArray byteOrderMark("\xEF\xBB\xBF");
    if (!bytes.startsWith(byteOrderMark)) {
        SSEParser marked;
        NIMBAL_FUZZ_CHECK(marked.feed(byteOrderMark + bytes) == events);
    }
    return 0;
}
