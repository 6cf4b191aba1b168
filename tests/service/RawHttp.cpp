// SPDX-License-Identifier: GPL-3.0-or-later
#include "RawHttp.h"

#include "LocalService.h"

#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace OrvelanNimbal::Testing {

RawConnection::RawConnection(int port, const std::string &from)
{
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(quint16(port));
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof(local)) != 0
        || ::connect(m_socket, reinterpret_cast<sockaddr *>(&remote), sizeof(remote)) != 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

RawConnection::~RawConnection()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

bool RawConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(size_t(sent));
    }
    return true;
}

bool RawConnection::fill(std::chrono::milliseconds timeout)
{
    pollfd watched{m_socket, POLLIN, 0};
    if (::poll(&watched, 1, int(timeout.count())) <= 0)
        return false;
    char piece[16384];
    const ssize_t received = ::recv(m_socket, piece, sizeof(piece), 0);
    if (received <= 0)
        return false;
    m_buffer.append(piece, size_t(received));
    return true;
}

RawConnection::Answer RawConnection::read(std::chrono::milliseconds timeout, bool headOnly)
{
    Answer answer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(deadline - std::chrono::steady_clock::now(),
                     std::chrono::steady_clock::duration::zero()));
    };
    std::size_t end = std::string::npos;
    while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(left()))
            return answer;
    }
    const std::string head = m_buffer.substr(0, end);
    m_buffer.erase(0, end + 4);
    std::size_t lineEnd = head.find("\r\n");
    const std::string statusLine = head.substr(0, lineEnd);
    answer.status = std::atoi(statusLine.substr(statusLine.find(' ') + 1).c_str());
    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd - start);
        const std::size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (char &c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        answer.headers[name] = line.substr(std::min(line.size(), colon + 2));
    }
    const auto length = answer.headers.find("content-length");
    const std::size_t bodySize =
        headOnly || length == answer.headers.end() ? 0 : std::stoul(length->second);
    while (m_buffer.size() < bodySize) {
        if (!fill(left()))
            break;
    }
    answer.body = m_buffer.substr(0, bodySize);
    m_buffer.erase(0, std::min(bodySize, m_buffer.size()));
    return answer;
}

std::string RawConnection::readSome(std::chrono::milliseconds timeout)
{
    if (m_buffer.empty())
        fill(timeout);
    return std::exchange(m_buffer, std::string());
}

bool RawConnection::closedWithin(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{m_socket, POLLIN, 0};
        if (left.count() < 0 || ::poll(&watched, 1, int(left.count())) <= 0)
            return false;
        char piece[16384];
        if (::recv(m_socket, piece, sizeof(piece), 0) <= 0)
            return true;
    }
}

std::string request(std::string_view method, std::string_view target,
                    const std::map<std::string, std::string> &headers, std::string_view body)
{
    std::string text = std::string(method) + " " + std::string(target) + " HTTP/1.1\r\n";
    text += "Host: 127.0.0.1\r\n";
    for (const auto &[name, value] : headers)
        text += name + ": " + value + "\r\n";
    if (!body.empty() && !headers.count("Content-Length") && !headers.count("Transfer-Encoding"))
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n";
    text += body;
    return text;
}

QJsonDocument jsonOf(const RawConnection::Answer &answer)
{
    return QJsonDocument::fromJson(
        QByteArray::fromStdString(answer.body).replace("\xEF\xBB\xBF", "\\ufeff"));
}

std::string jsonText(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QString addAccount(LocalService &service, const QString &tag, const std::string &password)
{
    LocalService::Account account;
    account.email = LocalService::uniqueEmail(tag);
    account.password = QString::fromStdString(password);
    service.addAccount(account);
    return account.email;
}

std::string signIn(int port, const std::string &email, const std::string &password,
                   const std::string &from)
{
    RawConnection connection(port, from);
    const QJsonObject body{{u"email"_qs, QString::fromStdString(email)},
                           {u"password"_qs, QString::fromStdString(password)}};
    connection.send(request("POST", "/api/v1/auth/login-jmap",
                            {{"Content-Type", "application/json"}}, jsonText(body)));
    return jsonOf(connection.read()).object().value(u"access_token").toString().toStdString();
}

long peakResidentKilobytes(long long processId)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(processId));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace OrvelanNimbal::Testing
