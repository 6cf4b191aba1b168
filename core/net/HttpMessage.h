// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HttpBody.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

namespace OrvelanNimbal {

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

// The value of the first header called `name`, compared without regard to case.
std::optional<QByteArray> findHeader(const HttpHeaders &headers, QByteArrayView name);

// One complete HTTP request, as the client built it.
struct HttpRequest {
    QUrl url;
    QByteArray method = QByteArrayLiteral("GET");
    HttpHeaders headers;
    HttpBody body;
    double timeout = 60; // seconds without traffic before the request fails; 0 for none

    void setHeader(const QByteArray &name, const QByteArray &value);
    std::optional<QByteArray> header(QByteArrayView name) const
    {
        return findHeader(headers, name);
    }
};

// The head of an HTTP answer: status and headers in the order received.
struct HttpResponse {
    int statusCode = 0;
    HttpHeaders headers;

    std::optional<QByteArray> header(QByteArrayView name) const
    {
        return findHeader(headers, name);
    }
    // A header value as text (UTF-8, as sent); nothing when absent.
    std::optional<QString> headerText(QByteArrayView name) const;
    bool isSuccess() const { return statusCode >= 200 && statusCode <= 299; }
};

// What a transport hands back: the whole body and the head of the answer.
struct HttpResult {
    QByteArray body;
    HttpResponse response;
};

} // namespace OrvelanNimbal
