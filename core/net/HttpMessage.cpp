// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/HttpMessage.h"

#include "json/Utf8Text.h"

namespace OrvelanNimbal {

std::optional<QByteArray> findHeader(const HttpHeaders &headers, QByteArrayView name)
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

void HttpRequest::setHeader(const QByteArray &name, const QByteArray &value)
{
    for (auto &[key, existing] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            existing = value;
            return;
        }
    }
    headers.append({name, value});
}

std::optional<QString> HttpResponse::headerText(QByteArrayView name) const
{
    const auto value = header(name);
    if (!value)
        return std::nullopt;
    // Every character as sent: a value may begin with U+FEFF.
    return utf8Text(*value);
}

} // namespace OrvelanNimbal
