// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/DriveSession.h"

#include <QDateTime>
#include <QStringList>

#include <optional>
#include <variant>

namespace OrvelanNimbal {

// The second factors a code can answer.
enum class TwoFactorMethod { totp, recovery };

QString rawValue(TwoFactorMethod method);
// Exact, case-sensitive: "totp" or "recovery"; anything else gives nothing.
std::optional<TwoFactorMethod> twoFactorMethodFromRawValue(QStringView text);

// A sign-in that waits for its second factor.
struct TwoFactorChallenge {
    QString account;     // the address the service returned, or the one typed
    QStringList methods; // as the service sent them ("totp", "recovery", ...)
    QDateTime expiresAt;
    QString pendingToken;
    QString password; // kept to build the session once the code is accepted

    bool acceptsAuthenticatorCode() const { return methods.contains(u"totp"); }
    bool acceptsRecoveryCode() const { return methods.contains(u"recovery"); }
    bool acceptsAnyCode() const { return acceptsAuthenticatorCode() || acceptsRecoveryCode(); }

    friend bool operator==(const TwoFactorChallenge &, const TwoFactorChallenge &) = default;
};

// What a sign-in gives: a session (already stored and held) or a second-factor challenge.
struct LoginOutcome {
    std::variant<DriveSession, TwoFactorChallenge> value;

    static LoginOutcome signedIn(DriveSession session) { return {std::move(session)}; }
    static LoginOutcome twoFactorRequired(TwoFactorChallenge challenge)
    {
        return {std::move(challenge)};
    }

    const DriveSession *session() const { return std::get_if<DriveSession>(&value); }
    const TwoFactorChallenge *challenge() const { return std::get_if<TwoFactorChallenge>(&value); }

    friend bool operator==(const LoginOutcome &, const LoginOutcome &) = default;
};

} // namespace OrvelanNimbal
