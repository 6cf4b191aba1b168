// SPDX-License-Identifier: GPL-3.0-or-later
// Long arrays a piece at a time. A piece is a run of whole elements, framed as an array of its
// own and parsed alone, with an index the size of the piece instead of the whole text. It is
// cut only where one object ends and the next begins ("}", ",", "{", white space allowed). A
// cut in the wrong place cannot go unnoticed: inside a string it leaves the string open, which
// the parser's first pass refuses (another cut is tried); inside an element it leaves that
// element unclosed, which fails its decoding (the next piece starts with that element). When a
// piece fails on its first element, the whole text is parsed again in one go, skipping the
// elements already handed over, so that a failure reads exactly as parseDocument says it.
#include "json/JsonValue_p.h"

#include <cstring>
#include <memory>

namespace OrvelanNimbal::Json {

namespace {

using ElementDecoder = void (*)(Value &element, void *context);

// A cut that lands inside a string costs only the parser's first pass over the piece; after a
// few such misses the array is read whole.
constexpr int cutAttempts = 4;
constexpr size_t noCut = size_t(-1);

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The comma of the last "}" "," "{" whose comma lies in [from, limit), or noCut.
size_t lastObjectBoundary(const char *text, size_t size, size_t from, size_t limit)
{
    for (size_t comma = limit; comma-- > from;) {
        if (text[comma] != ',')
            continue;
        size_t before = comma;
        while (before > from && isSpace(text[before - 1]))
            --before;
        size_t after = comma + 1;
        while (after < size && isSpace(text[after]))
            ++after;
        if (before > from && text[before - 1] == '}' && after < size && text[after] == '{')
            return comma;
    }
    return noCut;
}

enum class PieceOutcome {
    read,       // every element handed over
    unreadable, // refused before any element was handed over
    failed,     // refused; the elements before `resumeAt` (if any) were handed over
};

struct PieceResult {
    PieceOutcome outcome;
    size_t resumeAt = noCut; // where the failing element starts in the whole text
};

class PieceReader {
public:
    PieceReader(size_t pieceSize, ElementDecoder decodeElement, void *context, size_t &delivered)
        : m_capacity(pieceSize + 2 + simdjson::SIMDJSON_PADDING)
        , m_buffer(new char[m_capacity]()) // the parser may glance at the padding
        , m_decodeElement(decodeElement)
        , m_context(context)
        , m_delivered(delivered)
    {}

    // Parses "[" + the text at `position`, followed by "]" unless the text carries the array's
    // own end.
    PieceResult read(const char *text, size_t position, size_t length, bool closeArray)
    {
        m_buffer[0] = '[';
        std::memcpy(m_buffer.get() + 1, text + position, length);
        size_t pieceLength = length + 1;
        if (closeArray)
            m_buffer[pieceLength++] = ']';
        simdjson::ondemand::document document;
        simdjson::ondemand::value root;
        if (m_parser.iterate(simdjson::padded_string_view(m_buffer.get(), pieceLength, m_capacity))
                .get(document)
            || document.get_value().get(root))
            return {PieceOutcome::unreadable};
        const char *elementStart = nullptr;
        bool decoding = false;
        bool firstElement = true;
        try {
            Location location;
            Value array(root, location);
            array.forEachElement([&](Value &element) {
                firstElement = elementStart == nullptr;
                elementStart = element.raw().raw_json_token().data();
                decoding = true;
                m_decodeElement(element, m_context);
                decoding = false;
                ++m_delivered;
            });
        } catch (const DecodingFailure &) {
            // An element that fails after others were handed over may have been cut short: the
            // next piece starts with it. A failure between elements is not a cut.
            if (!decoding || firstElement)
                return {PieceOutcome::failed};
            return {PieceOutcome::failed, position + size_t(elementStart - (m_buffer.get() + 1))};
        }
        const char *rest = nullptr;
        if (document.current_location().get(rest) == simdjson::SUCCESS)
            return {PieceOutcome::failed}; // something after the array
        return {PieceOutcome::read};
    }

private:
    simdjson::ondemand::parser m_parser;
    size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    ElementDecoder m_decodeElement;
    void *m_context;
    size_t &m_delivered;
};

// True when the whole array was handed over piece by piece.
bool readInPieces(const QByteArray &json, size_t pieceSize, PieceReader &reader)
{
    const char *text = json.constData();
    const size_t size = size_t(json.size());
    size_t position = 0;
    while (position < size && isSpace(text[position]))
        ++position;
    if (position == size || text[position] != '[')
        return false;
    ++position;
    while (size - position > pieceSize) {
        size_t limit = position + pieceSize;
        PieceResult result{PieceOutcome::unreadable};
        for (int attempt = 0; attempt < cutAttempts && result.outcome == PieceOutcome::unreadable;
             ++attempt) {
            const size_t comma = lastObjectBoundary(text, size, position, limit);
            if (comma == noCut)
                return false;
            result = reader.read(text, position, comma - position, true);
            if (result.outcome == PieceOutcome::read)
                position = comma + 1;
            limit = comma;
        }
        if (result.outcome == PieceOutcome::unreadable)
            return false;
        if (result.outcome == PieceOutcome::failed) {
            if (result.resumeAt == noCut)
                return false;
            position = result.resumeAt;
        }
    }
    return reader.read(text, position, size - position, false).outcome == PieceOutcome::read;
}

} // namespace

void parseArray(const QByteArray &json, ElementDecoder decodeElement, void *context,
                size_t pieceSize)
{
    size_t delivered = 0;
    if (size_t(json.size()) > pieceSize) {
        PieceReader reader(pieceSize, decodeElement, context, delivered);
        if (readInPieces(json, pieceSize, reader))
            return;
    }
    // The elements handed over so far were read whole and will read the same again.
    parse(json, [&](Value &root) {
        size_t index = 0;
        root.forEachElement([&](Value &element) {
            if (index++ >= delivered)
                decodeElement(element, context);
        });
    });
}

} // namespace OrvelanNimbal::Json
