// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/SessionStoring.h"
#include "auth/TrustedDeviceStoring.h"

namespace OrvelanNimbal {

// The session in the desktop's Secret Service: one item per service under the fixed key
// "current". Without a Secret Service every operation fails with KeychainError; there is no
// fallback to a plain file.
class KeychainSessionStore final : public SessionStoring {
public:
    KeychainSessionStore(QString service, QString accessGroup);

    QCoro::Task<std::optional<DriveSession>> load() override;
    QCoro::Task<> save(DriveSession session) override;
    QCoro::Task<> clear() override;

private:
    QString m_service;
    QString m_accessGroup; // all programs of the user share the Secret Service; kept for the layout
};

// Trusted-device tokens in the Secret Service: one item per lower-cased account. Failures are
// silent by design.
class KeychainTrustedDeviceStore final : public TrustedDeviceStoring {
public:
    KeychainTrustedDeviceStore(QString service, QString accessGroup);

    QCoro::Task<std::optional<QString>> token(QString account) override;
    QCoro::Task<> save(QString token, QString account) override;
    QCoro::Task<> remove(QString account) override;

private:
    QString m_service;
    QString m_accessGroup;
};

} // namespace OrvelanNimbal
