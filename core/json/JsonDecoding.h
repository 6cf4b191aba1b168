// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstddef>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

// Decoding of the service's JSON answers into wire records. The parser stays private to the
// library: a record type T is decodable when Json::Decoder<T> is specialised (declared next to
// the record, defined in its source file over the reader of JsonValue_p.h).
namespace OrvelanNimbal::Json {

class Value;

template <class T>
struct Decoder; // static T decode(Value &value);

// Lists decode element by element, in order. Defined in the reader's header; the lists of the
// drive's records are instantiated in the library, for use outside it.
template <class T>
struct Decoder<std::vector<T>> {
    static std::vector<T> decode(Value &value);
};

// Parses `json` and hands its root value to `decodeRoot`. Any failure — malformed JSON, a
// missing key, a value of the wrong type — throws DriveError::decoding with a description that
// says what was expected and where (for example « $[3].file_size : nombre attendu »).
// Bodies that keep 64 bytes of spare capacity after their end are parsed in place.
void parseDocument(const QByteArray &json, void (*decodeRoot)(Value &root, void *context),
                   void *context);

template <class T>
T decode(const QByteArray &json)
{
    std::optional<T> result;
    parseDocument(
        json,
        [](Value &root, void *context) {
            static_cast<std::optional<T> *>(context)->emplace(Decoder<T>::decode(root));
        },
        &result);
    return std::move(*result);
}

// Long arrays are read in pieces of about this many bytes (see parseArray).
inline constexpr size_t arrayPieceSize = size_t(1) << 20;

// Parses the JSON array `json` and hands each element, in order, to `decodeElement`. Fails as
// parseDocument does, with the same descriptions. An array of objects longer than `pieceSize`
// is parsed a piece at a time, so that the parser's index of the text never grows with the
// whole answer: for a 100,000-file listing that index would weigh as much as half the answer.
// When the function fails, the elements before the failing one have been handed over.
void parseArray(const QByteArray &json, void (*decodeElement)(Value &element, void *context),
                void *context, size_t pieceSize = arrayPieceSize);

// Decodes the JSON array `json` as decode<std::vector<T>> would, but hands each record to
// `onElement` as soon as it is decoded, so that the records never all exist at once.
template <class T, class OnElement>
void decodeEach(const QByteArray &json, OnElement &&onElement, size_t pieceSize = arrayPieceSize)
{
    using Handler = std::remove_reference_t<OnElement>;
    parseArray(
        json,
        [](Value &element, void *context) {
            (*static_cast<Handler *>(context))(Decoder<T>::decode(element));
        },
        const_cast<std::remove_const_t<Handler> *>(&onElement), pieceSize);
}

} // namespace OrvelanNimbal::Json
