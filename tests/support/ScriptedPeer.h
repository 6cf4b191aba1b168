// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace OrvelanNimbal::Testing {

// A peer on loopback that answers every request with the same bytes, whatever they are (an
// HTTP answer, half of one, something else), once the request's head and the body it announces
// have arrived, then closes the connection after `closeAfterMs` (never when negative: the
// connection then carries the next request too). An empty answer says nothing.
class ScriptedPeer : public QObject {
public:
    explicit ScriptedPeer(QByteArray answer, int closeAfterMs = 0)
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [=, this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                auto pending = std::make_shared<QByteArray>(); // of the request being read
                connect(socket, &QTcpSocket::readyRead, socket, [=, this] {
                    const QByteArray bytes = socket->readAll();
                    *pending += bytes;
                    received += bytes;
                    while (const qsizetype length = wholeRequestLength(*pending)) {
                        pending->remove(0, length);
                        ++requests;
                        if (onRequest)
                            onRequest();
                        socket->write(answer);
                        if (!answer.isEmpty() && closeAfterMs >= 0)
                            QTimer::singleShot(closeAfterMs, socket,
                                               [=] { socket->disconnectFromHost(); });
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

    int connections = 0;
    int disconnections = 0;
    int requests = 0;
    QByteArray received;             // everything every connection sent, in order
    std::function<void()> onRequest; // called as each request has arrived

private:
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
