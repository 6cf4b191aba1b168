// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/InMemoryStores.h"

namespace OrvelanNimbal {

InMemorySessionStore::InMemorySessionStore(std::optional<DriveSession> session)
    : m_session(std::move(session))
{}

QCoro::Task<std::optional<DriveSession>> InMemorySessionStore::load()
{
    QMutexLocker lock(&m_lock);
    // A copy: QCoro 0.8 moves from any non-const lvalue handed to co_return.
    std::optional<DriveSession> session = m_session;
    co_return session;
}

QCoro::Task<> InMemorySessionStore::save(DriveSession session)
{
    QMutexLocker lock(&m_lock);
    m_session = std::move(session);
    co_return;
}

QCoro::Task<> InMemorySessionStore::clear()
{
    QMutexLocker lock(&m_lock);
    m_session.reset();
    co_return;
}

InMemoryTrustedDeviceStore::InMemoryTrustedDeviceStore(QHash<QString, QString> tokens)
    : m_tokens(std::move(tokens))
{}

QCoro::Task<std::optional<QString>> InMemoryTrustedDeviceStore::token(QString account)
{
    QMutexLocker lock(&m_lock);
    const auto found = m_tokens.constFind(account.toLower());
    if (found == m_tokens.cend())
        co_return std::nullopt;
    QString token = *found; // a copy: co_return would move from the map's own value
    co_return token;
}

QCoro::Task<> InMemoryTrustedDeviceStore::save(QString token, QString account)
{
    QMutexLocker lock(&m_lock);
    m_tokens.insert(account.toLower(), token);
    co_return;
}

QCoro::Task<> InMemoryTrustedDeviceStore::remove(QString account)
{
    QMutexLocker lock(&m_lock);
    m_tokens.remove(account.toLower());
    co_return;
}

} // namespace OrvelanNimbal
