// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <sys/socket.h>

namespace OrvelanNimbal::Testing {

// A peer on loopback that answers every request with the same bytes, whatever they are (an
// HTTP answer, half of one, something else), once the request's head and the body it announces
// have arrived, then closes the connection after `closeAfterMs` (never when negative: the
// connection then carries the next request too). An empty answer says nothing.
//
// A request that asks "Expect: 100-continue" gets the go-ahead as soon as its head is in, or,
// with `answerOnHead`, the answer itself (a refusal that does not want the body). `answerFor`,
// when set, chooses the answer from the request's head.
class ScriptedPeer : public QObject {
public:
    explicit ScriptedPeer(QByteArray answer, int closeAfterMs = 0)
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [=, this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                auto pending = std::make_shared<QByteArray>(); // of the request being read
                auto continued = std::make_shared<bool>(false);
                connect(socket, &QTcpSocket::readyRead, socket, [=, this] {
                    const QByteArray bytes = socket->readAll();
                    *pending += bytes;
                    received += bytes;
                    const auto respond = [&](const QByteArray &head) {
                        ++requests;
                        if (onRequest)
                            onRequest();
                        const QByteArray reply = answerFor ? answerFor(head) : answer;
                        socket->write(reply);
                        if (resetOnRequest) {
                            reset(socket);
                            return false;
                        }
                        if (!reply.isEmpty() && closeAfterMs >= 0)
                            QTimer::singleShot(closeAfterMs, socket,
                                               [=] { socket->disconnectFromHost(); });
                        return true;
                    };
                    for (;;) {
                        const qsizetype headEnd = pending->indexOf("\r\n\r\n");
                        if (headEnd < 0)
                            return;
                        const QByteArray head = pending->left(headEnd).toLower();
                        if (head.contains("\nexpect: 100-continue") && !*continued) {
                            *continued = true;
                            if (answerOnHead) {
                                pending->clear();
                                respond(head);
                                return;
                            }
                            socket->write("HTTP/1.1 100 Continue\r\n\r\n");
                        }
                        const qsizetype length = wholeRequestLength(*pending);
                        if (length == 0)
                            return;
                        pending->remove(0, length);
                        *continued = false;
                        if (!respond(head))
                            return;
                    }
                });
                connect(socket, &QTcpSocket::disconnected, socket, [=, this] {
                    ++disconnections;
                    socket->deleteLater();
                });
            }
        });
    }

    QUrl url(const QString &path = {}) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    // Drops every open connection at once, as a server does with the ones it kept idle.
    void dropConnections()
    {
        for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
            socket->abort();
    }

    // Bytes written to the connections that the client has not taken yet.
    qint64 unsentBytes() const
    {
        qint64 unsent = 0;
        for (const QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
            unsent += socket->bytesToWrite();
        return unsent;
    }

    int connections = 0;
    int disconnections = 0;
    int requests = 0;
    QByteArray received;             // everything every connection sent, in order
    std::function<void()> onRequest; // called as each request has arrived
    std::function<QByteArray(const QByteArray &lowerCaseHead)> answerFor;
    bool answerOnHead = false;   // a request that asks to continue is answered at its head
    bool resetOnRequest = false; // the connection is reset instead of closed

private:
    // Closed at once with a reset, as a server that crashes or refuses a connection does.
    static void reset(QTcpSocket *socket)
    {
        const linger immediately{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately,
                     sizeof immediately);
        socket->abort();
    }

    // The length of the request at the start of `bytes` (head and announced body), or 0 while
    // it is not all there.
    static qsizetype wholeRequestLength(const QByteArray &bytes)
    {
        const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return 0;
        qsizetype bodyLength = 0;
        for (const QByteArray &line : bytes.left(headEnd).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                bodyLength = line.mid(15).trimmed().toLongLong();
        }
        const qsizetype length = headEnd + 4 + bodyLength;
        return bytes.size() >= length ? length : 0;
    }

    QTcpServer m_server;
};

} // namespace OrvelanNimbal::Testing
