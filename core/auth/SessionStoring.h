// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/DriveSession.h"

#include <QCoro/QCoroTask>

#include <optional>

namespace OrvelanNimbal {

// Persistent home of the signed-in session. The keychain store fails with KeychainError; a
// stored session that does not read back fails with DriveError::decoding.
class SessionStoring {
public:
    virtual ~SessionStoring() = default;
    virtual QCoro::Task<std::optional<DriveSession>> load() = 0;
    virtual QCoro::Task<> save(DriveSession session) = 0;
    virtual QCoro::Task<> clear() = 0;
};

} // namespace OrvelanNimbal
