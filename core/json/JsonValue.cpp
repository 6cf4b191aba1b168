// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors/DriveError.h"
#include "json/JsonValue_p.h"
#include "json/Utf8Text.h"

#include <cmath>

namespace OrvelanNimbal::Json {

QString Location::describe() const
{
    QString text = QStringLiteral("$");
    for (const auto &segment : m_segments) {
        if (segment.isIndex)
            text += QStringLiteral("[%1]").arg(segment.index);
        else
            text += u'.' + utf8Text(segment.key);
    }
    return text;
}

void failAt(const Location &location, const QString &expectation)
{
    throw DecodingFailure{location.describe() + QStringLiteral(" : ") + expectation};
}

void failAt(const Location &location, simdjson::error_code error)
{
    failAt(location, QStringLiteral("JSON invalide (%1)")
                         .arg(QString::fromUtf8(simdjson::error_message(error))));
}

void Value::missingKey(std::string_view key) const
{
    fail(QStringLiteral("clé « %1 » absente").arg(utf8Text(key)));
}

std::string_view keyText(simdjson::ondemand::field &field, const Location &location)
{
    // The parser has checked that the key's closing quote is there.
    const char *start = field.key().raw();
    const char *end = start;
    while (*end != '"' && *end != '\\')
        ++end;
    if (*end == '"')
        return {start, size_t(end - start)};
    std::string_view unescaped;
    if (auto error = field.unescaped_key().get(unescaped))
        failAt(location, error);
    return unescaped;
}

bool Value::isNull()
{
    bool null = false;
    return m_value.is_null().get(null) == simdjson::SUCCESS && null;
}

std::string_view Value::toUtf8()
{
    const std::string_view token = m_value.raw_json_token();
    if (!token.empty() && token.front() == '"') {
        // The token runs up to the next structural character: the closing quote, then perhaps
        // white space. The parser has already checked the text's UTF-8 and control characters.
        size_t close = token.size() - 1;
        while (token[close] != '"')
            --close;
        const std::string_view text = token.substr(1, close - 1);
        simdjson::ondemand::raw_json_string consumed;
        if (text.find('\\') == std::string_view::npos
            && m_value.get_raw_json_string().get(consumed) == simdjson::SUCCESS)
            return text;
    }
    std::string_view text;
    if (m_value.get_string().get(text) != simdjson::SUCCESS)
        fail(QStringLiteral("chaîne attendue"));
    return text;
}

std::optional<std::string_view> Value::toOptionalUtf8()
{
    if (startsWith('n') && isNull())
        return std::nullopt;
    return toUtf8();
}

QString Value::toString()
{
    return utf8Text(toUtf8());
}

qint64 Value::toInt64()
{
    int64_t value = 0;
    if (m_value.get_int64().get(value) == simdjson::SUCCESS)
        return value;
    return toInt64Slowly();
}

qint64 Value::toInt64Slowly()
{
    simdjson::ondemand::json_type type;
    if (m_value.type().get(type) != simdjson::SUCCESS
        || type != simdjson::ondemand::json_type::number)
        fail(QStringLiteral("entier attendu"));
    simdjson::ondemand::number number;
    if (m_value.get_number().get(number) != simdjson::SUCCESS)
        fail(QStringLiteral("entier hors limites"));
    switch (number.get_number_type()) {
    case simdjson::ondemand::number_type::signed_integer:
        return number.get_int64();
    case simdjson::ondemand::number_type::unsigned_integer:
        fail(QStringLiteral("entier hors limites"));
    case simdjson::ondemand::number_type::floating_point_number:
        break;
    }
    // A whole value written with a fraction or an exponent (12.0, 1e3) is still a whole number.
    const double value = number.get_double();
    if (!std::isfinite(value) || std::trunc(value) != value)
        fail(QStringLiteral("entier attendu, valeur non entière"));
    if (value < -9223372036854775808.0 || value >= 9223372036854775808.0)
        fail(QStringLiteral("entier hors limites"));
    return static_cast<qint64>(value);
}

double Value::toNumber()
{
    double value = 0;
    if (m_value.get_double().get(value) != simdjson::SUCCESS)
        fail(QStringLiteral("nombre attendu"));
    return value;
}

bool Value::toBool()
{
    bool value = false;
    if (m_value.get_bool().get(value) != simdjson::SUCCESS)
        fail(QStringLiteral("booléen attendu"));
    return value;
}

std::optional<QString> Value::toOptionalString()
{
    if (startsWith('n') && isNull())
        return std::nullopt;
    return toString();
}

std::optional<qint64> Value::toOptionalInt64()
{
    if (startsWith('n') && isNull())
        return std::nullopt;
    return toInt64();
}

std::optional<double> Value::toOptionalNumber()
{
    if (startsWith('n') && isNull())
        return std::nullopt;
    return toNumber();
}

std::optional<bool> Value::toOptionalBool()
{
    if (startsWith('n') && isNull())
        return std::nullopt;
    return toBool();
}

namespace {

// Every answer we read is an object or an array. A document that is neither is either a lone
// scalar, or (far more often: an error page) no JSON at all.
[[noreturn]] void failRoot(simdjson::ondemand::document &document, simdjson::error_code error,
                           const Location &location)
{
    simdjson::ondemand::json_type type;
    if (error == simdjson::SCALAR_DOCUMENT_AS_VALUE
        && document.type().get(type) == simdjson::SUCCESS) {
        failAt(location, QStringLiteral("objet ou tableau attendu"));
    }
    failAt(location, error == simdjson::SCALAR_DOCUMENT_AS_VALUE ? simdjson::TAPE_ERROR : error);
}

} // namespace

void parseDocument(const QByteArray &json, void (*decodeRoot)(Value &root, void *context),
                   void *context)
{
    Location location;
    try {
        simdjson::ondemand::parser parser;
        simdjson::padded_string copy;
        simdjson::padded_string_view input;
        // The parser may read past the text, so in place only when the array's own allocation
        // goes on that far. capacity() counts the free space in front of the data too, which a
        // body cut out of a larger buffer has plenty of; only the space behind is padding.
        QByteArray reference = json; // shares the bytes: data_ptr() is not for const arrays
        const qsizetype spaceBehind = reference.data_ptr().freeSpaceAtEnd();
        if (spaceBehind >= qsizetype(simdjson::SIMDJSON_PADDING)) {
            input = simdjson::padded_string_view(json.constData(), size_t(json.size()),
                                                 size_t(json.size() + spaceBehind));
        } else {
            copy = simdjson::padded_string(json.constData(), size_t(json.size()));
            input = copy;
        }
        simdjson::ondemand::document document;
        if (auto error = parser.iterate(input).get(document))
            failAt(location, error);
        simdjson::ondemand::value root;
        if (auto error = document.get_value().get(root))
            failRoot(document, error, location);
        Value value(root, location);
        decodeRoot(value, context);
        const char *rest = nullptr;
        // Past the root value the document has no location left; any other answer is trailing
        // content.
        if (document.current_location().get(rest) == simdjson::SUCCESS)
            failAt(location, QStringLiteral("contenu inattendu après la fin du JSON"));
    } catch (const DecodingFailure &failure) {
        throw DriveError::decoding(failure.description);
    }
}

} // namespace OrvelanNimbal::Json
