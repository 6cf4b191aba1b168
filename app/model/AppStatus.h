// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/TwoFactor.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace OrvelanNimbal {

// A second-factor challenge as the two-factor view reads it. Handed back to the model's
// submitCode whole: the pending token and the password stay inside.
class ChallengeInfo {
    Q_GADGET
    QML_VALUE_TYPE(challengeInfo)
    Q_PROPERTY(QString account READ account)
    Q_PROPERTY(QStringList methods READ methods)
    Q_PROPERTY(QDateTime expiresAt READ expiresAt)
    Q_PROPERTY(bool acceptsAuthenticatorCode READ acceptsAuthenticatorCode)
    Q_PROPERTY(bool acceptsRecoveryCode READ acceptsRecoveryCode)

public:
    ChallengeInfo() = default;
    ChallengeInfo(TwoFactorChallenge challenge) // NOLINT: implicit, a view of the same thing
        : m_challenge(std::move(challenge))
    {}

    const TwoFactorChallenge &challenge() const { return m_challenge; }
    QString account() const { return m_challenge.account; }
    QStringList methods() const { return m_challenge.methods; }
    QDateTime expiresAt() const { return m_challenge.expiresAt; }
    bool acceptsAuthenticatorCode() const { return m_challenge.acceptsAuthenticatorCode(); }
    bool acceptsRecoveryCode() const { return m_challenge.acceptsRecoveryCode(); }

    friend bool operator==(const ChallengeInfo &, const ChallengeInfo &) = default;

private:
    TwoFactorChallenge m_challenge;
};

// Where the application stands with the service: signed out, signing in, ready, waiting for a
// second-factor code (holding the challenge until a code is accepted), or failed with a
// message for the user.
class AppStatus {
    Q_GADGET
    QML_VALUE_TYPE(appStatus)
    Q_PROPERTY(Kind kind READ kind)
    Q_PROPERTY(QString message READ message)
    Q_PROPERTY(ChallengeInfo challenge READ challengeInfo)

public:
    // Read in QML as AppStatus.Ready and so on.
    enum class Kind { SignedOut, Connecting, Ready, TwoFactor, Failed };
    Q_ENUM(Kind)

    AppStatus() = default;
    static AppStatus signedOut() { return {}; }
    static AppStatus connecting() { return AppStatus(Kind::Connecting); }
    static AppStatus ready() { return AppStatus(Kind::Ready); }
    static AppStatus twoFactor(TwoFactorChallenge challenge);
    static AppStatus failed(QString message);

    Kind kind() const { return m_kind; }
    // The message of a failure; empty otherwise.
    QString message() const { return m_message; }
    // The challenge of the twoFactor state; nothing otherwise.
    const std::optional<TwoFactorChallenge> &challenge() const { return m_challenge; }

    friend bool operator==(const AppStatus &, const AppStatus &) = default;

private:
    explicit AppStatus(Kind kind)
        : m_kind(kind)
    {}
    ChallengeInfo challengeInfo() const { return m_challenge.value_or(TwoFactorChallenge{}); }

    Kind m_kind = Kind::SignedOut;
    QString m_message;
    std::optional<TwoFactorChallenge> m_challenge;
};

// The status kinds for QML: AppStatus.SignedOut, AppStatus.Ready…
namespace AppStatusKinds {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(OrvelanNimbal::AppStatus)
QML_NAMED_ELEMENT(AppStatus)
} // namespace AppStatusKinds

} // namespace OrvelanNimbal
