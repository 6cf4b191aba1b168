// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

namespace OrvelanNimbal {

// The application's registration to start with the user's session.
class LoginItem {
public:
    enum class Status {
        notRegistered = 0,
        enabled = 1,
        requiresApproval = 2, // registered, waiting for the user's approval in the settings
        notFound = 3,         // a registration that no longer points at this application
    };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    // Each gives the system's description of what went wrong, or nothing on success.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
};

} // namespace OrvelanNimbal
