// SPDX-License-Identifier: GPL-3.0-or-later
#include "client/JsonValue_p.h"
#include "errors/DriveError.h"

#include <cmath>

namespace OrvelanNimbal::Json {

QString Location::describe() const
{
    QString text = QStringLiteral("$");
    for (const auto &segment : m_segments) {
        if (segment.isIndex)
            text += QStringLiteral("[%1]").arg(segment.index);
        else
            text += u'.' + QString::fromUtf8(segment.key.data(), qsizetype(segment.key.size()));
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
    fail(QStringLiteral("clé « %1 » absente")
             .arg(QString::fromUtf8(key.data(), qsizetype(key.size()))));
}

template <class R>
R Value::check(simdjson::simdjson_result<R> result, const char *expectation)
{
    R value;
    if (std::move(result).get(value) != simdjson::SUCCESS)
        fail(QString::fromUtf8(expectation));
    return value;
}

bool Value::isNull()
{
    bool null = false;
    return m_value.is_null().get(null) == simdjson::SUCCESS && null;
}

QString Value::toString()
{
    const std::string_view text = check(m_value.get_string(), "chaîne attendue");
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

qint64 Value::toInt64()
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
    return check(m_value.get_double(), "nombre attendu");
}

bool Value::toBool()
{
    return check(m_value.get_bool(), "booléen attendu");
}

std::optional<QString> Value::toOptionalString()
{
    if (isNull())
        return std::nullopt;
    return toString();
}

std::optional<qint64> Value::toOptionalInt64()
{
    if (isNull())
        return std::nullopt;
    return toInt64();
}

std::optional<double> Value::toOptionalNumber()
{
    if (isNull())
        return std::nullopt;
    return toNumber();
}

std::optional<bool> Value::toOptionalBool()
{
    if (isNull())
        return std::nullopt;
    return toBool();
}

void parseDocument(const QByteArray &json, void (*decodeRoot)(Value &root, void *context),
                   void *context)
{
    Location location;
    try {
        simdjson::ondemand::parser parser;
        simdjson::padded_string copy;
        simdjson::padded_string_view input;
        if (size_t(json.capacity() - json.size()) >= simdjson::SIMDJSON_PADDING) {
            input = simdjson::padded_string_view(json.constData(), size_t(json.size()),
                                                 size_t(json.capacity()));
        } else {
            copy = simdjson::padded_string(json.constData(), size_t(json.size()));
            input = copy;
        }
        simdjson::ondemand::document document;
        if (auto error = parser.iterate(input).get(document))
            failAt(location, error);
        simdjson::ondemand::value root;
        if (auto error = document.get_value().get(root))
            failAt(location, error);
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
