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

// A peer on loopback that answers every connection with the same bytes, whatever they are (an
// HTTP answer, half of one, something else), once the request's head has arrived, then closes
// the connection after `closeAfterMs` (never when negative). An empty answer says nothing.
class ScriptedPeer : public QObject {
public:
    explicit ScriptedPeer(QByteArray answer, int closeAfterMs = 0)
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [=, this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                auto request = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket, [=, this] {
                    const bool headSeen = request->contains("\r\n\r\n");
                    const QByteArray bytes = socket->readAll();
                    *request += bytes;
                    received += bytes;
                    if (headSeen || !request->contains("\r\n\r\n"))
                        return;
                    if (onRequest)
                        onRequest();
                    socket->write(answer);
                    if (!answer.isEmpty() && closeAfterMs >= 0)
                        QTimer::singleShot(closeAfterMs, socket,
                                           [=] { socket->disconnectFromHost(); });
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

    int connections = 0;
    int disconnections = 0;
    QByteArray received;             // everything every connection sent, in order
    std::function<void()> onRequest; // called as each request's head arrives

private:
    QTcpServer m_server;
};

} // namespace OrvelanNimbal::Testing
