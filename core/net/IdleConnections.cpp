// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/IdleConnections_p.h"

#include <QTcpSocket>
#include <QThreadStorage>
#include <QTimer>

#include <algorithm>

namespace OrvelanNimbal {

IdleConnections::~IdleConnections() = default;

IdleConnections &IdleConnections::ofThisThread()
{
    static QThreadStorage<IdleConnections *> sets;
    if (!sets.hasLocalData())
        sets.setLocalData(new IdleConnections);
    return *sets.localData();
}

QString IdleConnections::originOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    const int port = url.port(scheme == u"https" ? 443 : 80);
    return QStringLiteral("%1://%2:%3")
        .arg(scheme, url.host(QUrl::FullyEncoded).toLower())
        .arg(port);
}

std::unique_ptr<QTcpSocket> IdleConnections::take(const QString &origin)
{
    // The most recently used first: the likeliest to be still open at the other end.
    for (auto idle = m_idle.rbegin(); idle != m_idle.rend(); ++idle) {
        if (idle->origin != origin)
            continue;
        std::unique_ptr<QTcpSocket> socket = release(*idle);
        m_idle.erase(std::next(idle).base());
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            return socket;
        socket.release()->deleteLater();
        return take(origin);
    }
    return nullptr;
}

void IdleConnections::keep(const QString &origin, std::unique_ptr<QTcpSocket> socket)
{
    const auto sameOrigin = [&](const Idle &idle) { return idle.origin == origin; };
    if (std::size_t(std::count_if(m_idle.begin(), m_idle.end(), sameOrigin)) >= mostPerOrigin)
        drop(std::find_if(m_idle.begin(), m_idle.end(), sameOrigin)->socket.get());

    Idle idle{origin, std::move(socket), std::make_unique<QTimer>()};
    QTcpSocket *kept = idle.socket.get();
    QTimer *expiry = idle.expiry.get();
    expiry->setSingleShot(true);
    expiry->start(idleLimit);
    QObject::connect(expiry, &QTimer::timeout, expiry, [this, kept] { drop(kept); });
    // Nothing is expected on an idle connection: bytes or an end mean it is of no more use.
    QObject::connect(kept, &QIODevice::readyRead, expiry, [this, kept] { drop(kept); });
    QObject::connect(kept, &QAbstractSocket::disconnected, expiry, [this, kept] { drop(kept); });
    QObject::connect(kept, &QAbstractSocket::errorOccurred, expiry, [this, kept] { drop(kept); });
    m_idle.push_back(std::move(idle));
}

void IdleConnections::drop(QTcpSocket *socket)
{
    const auto found = std::find_if(m_idle.begin(), m_idle.end(),
                                    [&](const Idle &idle) { return idle.socket.get() == socket; });
    if (found == m_idle.end())
        return;
    // Possibly from inside one of the socket's or the timer's signals: both go later.
    std::unique_ptr<QTcpSocket> released = release(*found);
    m_idle.erase(found);
    released->abort();
    released.release()->deleteLater();
}

std::unique_ptr<QTcpSocket> IdleConnections::release(Idle &idle)
{
    idle.expiry->stop();
    QObject::disconnect(idle.socket.get(), nullptr, idle.expiry.get(), nullptr);
    idle.expiry.release()->deleteLater();
    return std::move(idle.socket);
}

} // namespace OrvelanNimbal
