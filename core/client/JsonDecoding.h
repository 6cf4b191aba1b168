// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <optional>

// Decoding of the service's JSON answers into wire records. The parser stays private to the
// library: a record type T is decodable when Json::Decoder<T> is specialised (declared next to
// the record, defined in its source file over the reader of JsonValue_p.h).
namespace OrvelanNimbal::Json {

class Value;

template <class T>
struct Decoder; // static T decode(Value &value);

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

} // namespace OrvelanNimbal::Json
