// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/SessionStoring.h"
#include "auth/TrustedDeviceStoring.h"

#include <QHash>
#include <QMutex>

namespace OrvelanNimbal {

// Stores that keep everything in memory, for tests and for processes without a keychain.
// Safe to use from any thread.
class InMemorySessionStore final : public SessionStoring {
public:
    explicit InMemorySessionStore(std::optional<DriveSession> session = std::nullopt);

    QCoro::Task<std::optional<DriveSession>> load() override;
    QCoro::Task<> save(DriveSession session) override;
    QCoro::Task<> clear() override;

private:
    QMutex m_lock;
    std::optional<DriveSession> m_session;
};

class InMemoryTrustedDeviceStore final : public TrustedDeviceStoring {
public:
    // The initial map is kept as given: a key with capital letters is never found.
    explicit InMemoryTrustedDeviceStore(QHash<QString, QString> tokens = {});

    QCoro::Task<std::optional<QString>> token(QString account) override;
    QCoro::Task<> save(QString token, QString account) override;
    QCoro::Task<> remove(QString account) override;

private:
    QMutex m_lock;
    QHash<QString, QString> m_tokens;
};

} // namespace OrvelanNimbal
