// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reader the record decoders are written against. Private to the library: it exposes the
// parser's types.
//
// It is on the path of every listing, so it avoids the parser's own string buffer: a string
// without escapes (nearly all of them) is read straight from the answer's bytes, and keys are
// compared in place. Only strings with backslashes are unescaped into the parser's buffer.

#include "json/JsonDecoding.h"

#include <QString>

#include <simdjson.h>
#include <string_view>
#include <vector>

namespace OrvelanNimbal::Json {

// A decoding failure on its way to the top of the document, where it becomes a DriveError.
struct DecodingFailure {
    QString description;
};

// Where the value being decoded sits, kept as a stack while the decoders descend and turned
// into text only when something fails: $[3].file_name
class Location {
public:
    void pushKey(std::string_view key) { m_segments.push_back({key, 0, false}); }
    void pushIndex(size_t index) { m_segments.push_back({{}, index, true}); }
    void pop() { m_segments.pop_back(); }
    QString describe() const;

private:
    struct Segment {
        std::string_view key;
        size_t index;
        bool isIndex;
    };
    std::vector<Segment> m_segments;
};

[[noreturn]] void failAt(const Location &location, const QString &expectation);
[[noreturn]] void failAt(const Location &location, simdjson::error_code error);

// The text of a member's key, read in place when it has no escapes.
std::string_view keyText(simdjson::ondemand::field &field, const Location &location);

class Value {
public:
    Value(simdjson::ondemand::value value, Location &location)
        : m_value(value)
        , m_location(location)
    {}

    bool isNull();

    QString toString();
    qint64 toInt64();
    double toNumber();
    bool toBool();

    // The same, with JSON null read as absent.
    std::optional<QString> toOptionalString();
    std::optional<qint64> toOptionalInt64();
    std::optional<double> toOptionalNumber();
    std::optional<bool> toOptionalBool();

    // A string's UTF-8 text, valid as long as the document is. For decoders that compare a
    // value before deciding whether to keep it.
    std::string_view toUtf8();
    std::optional<std::string_view> toOptionalUtf8();

    template <class T>
    T as()
    {
        return Decoder<T>::decode(*this);
    }

    // Calls f(std::string_view key, Value &value) for each member, in document order. Members
    // that f does not read are skipped. Fails when the value is not an object.
    template <class F>
    void forEachField(F &&f);

    // Calls f(Value &element) for each element. Fails when the value is not an array.
    template <class F>
    void forEachElement(F &&f);

    [[noreturn]] void fail(const QString &expectation) const { failAt(m_location, expectation); }
    // A required member was not in this object.
    [[noreturn]] void missingKey(std::string_view key) const;

    simdjson::ondemand::value &raw() { return m_value; }
    Location &location() { return m_location; }

private:
    bool startsWith(char c) { return m_value.raw_json_token().front() == c; }
    qint64 toInt64Slowly();

    simdjson::ondemand::value m_value;
    Location &m_location;
};

template <class F>
void Value::forEachField(F &&f)
{
    simdjson::ondemand::object object;
    if (m_value.get_object().get(object) != simdjson::SUCCESS)
        fail(QStringLiteral("objet attendu"));
    for (auto member : object) {
        simdjson::ondemand::field field;
        if (auto error = std::move(member).get(field))
            failAt(m_location, error);
        const std::string_view key = keyText(field, m_location);
        m_location.pushKey(key);
        Value value(field.value(), m_location);
        f(key, value);
        m_location.pop();
    }
}

template <class F>
void Value::forEachElement(F &&f)
{
    simdjson::ondemand::array array;
    if (m_value.get_array().get(array) != simdjson::SUCCESS)
        fail(QStringLiteral("tableau attendu"));
    size_t index = 0;
    for (auto element : array) {
        simdjson::ondemand::value item;
        if (auto error = element.get(item))
            failAt(m_location, error);
        m_location.pushIndex(index++);
        Value value(item, m_location);
        f(value);
        m_location.pop();
    }
}

// Parses `json` and hands its root value to `decodeRoot`, like decode<T> but for decoders that
// build something other than one record, such as a listing converted element by element.
template <class F>
void parse(const QByteArray &json, F &&decodeRoot)
{
    using Function = std::remove_reference_t<F>;
    parseDocument(
        json, [](Value &root, void *context) { (*static_cast<Function *>(context))(root); },
        const_cast<std::remove_const_t<Function> *>(&decodeRoot));
}

template <class T>
std::vector<T> Decoder<std::vector<T>>::decode(Value &value)
{
    std::vector<T> result;
    value.forEachElement([&](Value &element) { result.push_back(element.as<T>()); });
    return result;
}

template <>
struct Decoder<QString> {
    static QString decode(Value &value) { return value.toString(); }
};

} // namespace OrvelanNimbal::Json
