// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace OrvelanNimbal {

// Per-account tokens by which the service recognises a remembered device. Accounts are keyed
// lower-cased. Never fails: a token that cannot be kept only means the second factor is asked
// again next time.
class TrustedDeviceStoring {
public:
    virtual ~TrustedDeviceStoring() = default;
    virtual QCoro::Task<std::optional<QString>> token(QString account) = 0;
    virtual QCoro::Task<> save(QString token, QString account) = 0;
    virtual QCoro::Task<> remove(QString account) = 0;
};

} // namespace OrvelanNimbal
