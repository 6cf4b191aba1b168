// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/ConnectionEnd.h"

#include <httplib.h>
#include <memory>

namespace OrvelanNimbal::Service {

void endConnection(httplib::Response &response)
{
    response.set_header("Connection", "close");
}

void endConnectionIfBodyLeft(const httplib::Request &request, httplib::Response &response)
{
    const std::string length = request.get_header_value("Content-Length");
    if (request.has_header("Transfer-Encoding") || (!length.empty() && length != "0"))
        endConnection(response);
}

void keepPromiseToEnd(httplib::Response &response)
{
    if (response.get_header_value("Connection") != "close")
        return;
    // The library may have added its own keep-alive terms and a second "Connection".
    response.headers.erase("Keep-Alive");
    response.headers.erase("Connection");
    response.set_header("Connection", "close");
    if (response.body.empty())
        return; // nothing to write: a head alone, whose connection the client ends
    auto body = std::make_shared<std::string>(std::move(response.body));
    response.body.clear();
    if (!response.has_header("Content-Length"))
        response.set_header("Content-Length", std::to_string(body->size()));
    const std::string type = response.get_header_value("Content-Type");
    response.headers.erase("Content-Type");
    response.set_content_provider(type, [body](size_t, httplib::DataSink &sink) {
        sink.write(body->data(), body->size());
        return false; // the failure that ends the connection, once everything is out
    });
}

} // namespace OrvelanNimbal::Service
