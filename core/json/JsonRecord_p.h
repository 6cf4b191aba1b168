// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Records decoded from a table of their members: each record type lists its keys, which of them
// it needs, and where each value goes; the walk over the object, the skipping of unknown keys
// and the report of a missing one are written once, here.
//
//   return Json::decodeRecord<PresignDTO>(value, {Json::required<&PresignDTO::url>("url")});

#include "json/JsonValue_p.h"

#include <QStringList>

#include <bitset>
#include <initializer_list>
#include <optional>
#include <vector>

namespace OrvelanNimbal::Json {

// Reading a value into a field of a given type: a required text must be a text, an optional
// one may be null, and so on.
inline void readInto(Value &value, QString &out)
{
    out = value.toString();
}
inline void readInto(Value &value, qint64 &out)
{
    out = value.toInt64();
}
inline void readInto(Value &value, std::optional<QString> &out)
{
    out = value.toOptionalString();
}
inline void readInto(Value &value, std::optional<qint64> &out)
{
    out = value.toOptionalInt64();
}
inline void readInto(Value &value, std::optional<double> &out)
{
    out = value.toOptionalNumber();
}
inline void readInto(Value &value, std::optional<bool> &out)
{
    out = value.toOptionalBool();
}
template <class T>
void readInto(Value &value, std::optional<std::vector<T>> &out)
{
    if (value.isNull())
        out.reset();
    else
        out = value.as<std::vector<T>>();
}
inline void readInto(Value &value, std::optional<QStringList> &out)
{
    if (value.isNull()) {
        out.reset();
        return;
    }
    QStringList list;
    value.forEachElement([&](Value &element) { list.append(element.toString()); });
    out = std::move(list);
}

// One member of a record: its key, whether the record needs it, and how its value is read.
template <class Record>
struct Member {
    std::string_view key;
    bool isRequired;
    void (*read)(Record &record, Value &value);
};

template <class>
struct MemberPointer;
template <class Record, class Type>
struct MemberPointer<Type Record::*> {
    using RecordType = Record;
};

template <auto field>
Member<typename MemberPointer<decltype(field)>::RecordType> required(std::string_view key)
{
    return {key, true, [](auto &record, Value &value) { readInto(value, record.*field); }};
}

template <auto field>
Member<typename MemberPointer<decltype(field)>::RecordType> optional(std::string_view key)
{
    return {key, false, [](auto &record, Value &value) { readInto(value, record.*field); }};
}

// Members are matched on their exact key; keys the table does not name are skipped, and the
// last of two equal keys wins. Fails on the first required member that never came. The search
// for a key starts after the member matched last, so an object written in the table's order
// matches at the first comparison.
template <class Record>
Record decodeRecord(Value &value, std::initializer_list<Member<Record>> members)
{
    constexpr size_t maximumMembers = 32;
    Q_ASSERT(members.size() <= maximumMembers);
    const Member<Record> *table = members.begin();
    const size_t count = members.size();
    Record record{};
    std::bitset<maximumMembers> seen;
    size_t next = 0;
    value.forEachField([&](std::string_view key, Value &field) {
        for (size_t step = 0, index = next; step < count; ++step, ++index) {
            if (index == count)
                index = 0;
            if (table[index].key == key) {
                table[index].read(record, field);
                seen.set(index);
                next = index + 1;
                return;
            }
        }
    });
    for (size_t index = 0; index < count; ++index) {
        if (table[index].isRequired && !seen.test(index))
            value.missingKey(table[index].key);
    }
    return record;
}

} // namespace OrvelanNimbal::Json
