// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/BodyRules.h"

#include "foundation/JsonHttp.h"
#include "ServiceContext.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace OrvelanNimbal::Service {

namespace {

std::string lowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Whether a Content-Type names `type`; with `utf8Only`, a charset other than UTF-8 does not.
bool hasMediaType(std::string_view contentType, std::string_view type, bool utf8Only)
{
    std::size_t semicolon = contentType.find(';');
    if (lowered(trimmed(contentType.substr(0, semicolon))) != type)
        return false;
    while (semicolon != std::string_view::npos) {
        contentType.remove_prefix(semicolon + 1);
        semicolon = contentType.find(';');
        const std::string_view parameter = contentType.substr(0, semicolon);
        const std::size_t equals = parameter.find('=');
        if (!utf8Only || equals == std::string_view::npos
            || lowered(trimmed(parameter.substr(0, equals))) != "charset")
            continue;
        std::string_view value = trimmed(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (lowered(value) != "utf-8")
            return false;
    }
    return true;
}

// The one Content-Length of a request, in plain digits; nothing when absent, -1 when it cannot
// be read (several, signs, spaces, too many digits).
std::optional<std::int64_t> declaredLength(const httplib::Request &request)
{
    const auto [begin, end] = request.headers.equal_range("Content-Length");
    if (begin == end)
        return std::nullopt;
    const std::string &text = begin->second;
    std::int64_t length = -1;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), length);
    const bool digitsOnly = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (std::next(begin) != end || !digitsOnly || error != std::errc()
        || stop != text.data() + text.size())
        return -1;
    return length;
}

bool refuse(httplib::Response &response, int status, const char *code, const QString &message)
{
    sendError(response, status, QString::fromLatin1(code), message);
    return false;
}

} // namespace

void BodyRules::add(std::string method, const std::string &pattern, BodyRule rule)
{
    m_rules.push_back({std::move(method), std::regex(pattern), rule});
}

const BodyRule *BodyRules::find(std::string_view method, const std::string &path) const
{
    for (const Rule &rule : m_rules) {
        if (rule.method == method && std::regex_match(path, rule.pattern))
            return &rule.body;
    }
    return nullptr;
}

std::int64_t BodyRules::largest() const
{
    std::int64_t most = 0;
    for (const Rule &rule : m_rules)
        most = std::max(most, rule.body.mostBytes);
    return most;
}

bool BodyRules::admit(ServiceContext &context, const httplib::Request &request,
                      httplib::Response &response) const
{
    const auto length = declaredLength(request);
    const bool chunked = request.has_header("Transfer-Encoding");
    if (!chunked && (!length || *length == 0))
        return true;
    if (length && *length < 0)
        return refuse(response, 400, "invalid_request", QStringLiteral("Content-Length illisible"));
    if (chunked && (length || lowered(request.get_header_value("Transfer-Encoding")) != "chunked"))
        return refuse(response, 400, "invalid_request",
                      QStringLiteral("seul un corps en morceaux (chunked) sans Content-Length "
                                     "est compris"));

    const BodyRule *rule = find(request.method, request.path);
    if (!rule)
        return refuse(response, 413, "payload_too_large",
                      QStringLiteral("cette adresse ne prend pas de corps"));
    // Who sends is checked first: a stranger learns nothing of what the route would take.
    if (rule->admission && !rule->admission(context, request, response))
        return false;
    const std::string type = request.get_header_value("Content-Type");
    if ((rule->kind == BodyRule::Kind::json && !hasMediaType(type, "application/json", true))
        || (rule->kind == BodyRule::Kind::form
            && !hasMediaType(type, "multipart/form-data", false)))
        return refuse(response, 415, "unsupported_media_type",
                      rule->kind == BodyRule::Kind::json
                          ? QStringLiteral("le corps doit être du JSON (application/json)")
                          : QStringLiteral("le corps doit être un formulaire "
                                           "(multipart/form-data)"));
    if (chunked && rule->kind == BodyRule::Kind::json)
        return refuse(response, 411, "length_required",
                      QStringLiteral("un corps JSON s'annonce avec sa longueur"));
    if (length && *length > rule->mostBytes)
        return refuse(response, 413, "payload_too_large",
                      QStringLiteral("cette adresse prend au plus %1 octets").arg(rule->mostBytes));
    return true;
}

BodyRoutes::BodyRoutes(httplib::Server &server, ServiceContext &context)
    : m_server(server)
    , m_rules(context.bodyRules)
{}

} // namespace OrvelanNimbal::Service
