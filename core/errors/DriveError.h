// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <exception>
#include <optional>

namespace OrvelanNimbal {

// The one error of the core library. Every failure of a request, a sign-in, the event stream or
// a drive operation ends as one of these cases; errorDescription() is the French text the user
// sees. Thrown as an exception by the asynchronous operations.
class DriveError : public std::exception {
public:
    enum class Kind {
        http,
        transport,
        decoding,
        notAuthenticated,
        notFound,
        insufficientQuota,
        payloadTooLarge,
        reinforced,
        locked,
        versionConflict,
        archived,
        cursorExpired,
        twoFactorInvalidCode,
        twoFactorExpired,
        tooManyAttempts,
        twoFactorClientUnsupported,
    };

    static DriveError http(int status, QString body);
    static DriveError transport(QString reason);
    static DriveError decoding(QString description);
    static DriveError notAuthenticated() { return DriveError(Kind::notAuthenticated); }
    static DriveError notFound() { return DriveError(Kind::notFound); }
    static DriveError insufficientQuota() { return DriveError(Kind::insufficientQuota); }
    static DriveError payloadTooLarge() { return DriveError(Kind::payloadTooLarge); }
    static DriveError reinforced() { return DriveError(Kind::reinforced); }
    static DriveError locked() { return DriveError(Kind::locked); }
    static DriveError versionConflict() { return DriveError(Kind::versionConflict); }
    static DriveError archived() { return DriveError(Kind::archived); }
    static DriveError cursorExpired() { return DriveError(Kind::cursorExpired); }
    static DriveError twoFactorInvalidCode() { return DriveError(Kind::twoFactorInvalidCode); }
    static DriveError twoFactorExpired() { return DriveError(Kind::twoFactorExpired); }
    static DriveError tooManyAttempts() { return DriveError(Kind::tooManyAttempts); }
    static DriveError twoFactorClientUnsupported()
    {
        return DriveError(Kind::twoFactorClientUnsupported);
    }

    Kind kind() const { return m_kind; }
    // The HTTP status of an http error, 0 for every other case.
    int status() const { return m_status; }
    // The body text of an http error, the reason of a transport error, the description of a
    // decoding error; empty for the cases without payload.
    const QString &text() const { return m_text; }

    QString errorDescription() const;
    // Whether another attempt of the same request may succeed: transport failures and 5xx.
    bool isRetryable() const;

    // How long the service asked to be left alone before the next attempt (its Retry-After,
    // in seconds), when it said so. Not part of the error's identity.
    std::optional<std::chrono::seconds> retryAfter() const { return m_retryAfter; }
    DriveError withRetryAfter(std::optional<std::chrono::seconds> wait) const
    {
        DriveError copy = *this;
        copy.m_retryAfter = wait;
        return copy;
    }

    const char *what() const noexcept override;

    // Same case and, for the three cases that carry one, the same payload.
    friend bool operator==(const DriveError &a, const DriveError &b)
    {
        return a.m_kind == b.m_kind && a.m_status == b.m_status && a.m_text == b.m_text;
    }

private:
    explicit DriveError(Kind kind, int status = 0, QString text = {});

    Kind m_kind;
    int m_status = 0;
    QString m_text;
    QByteArray m_what; // UTF-8 form of errorDescription() for what()
    std::optional<std::chrono::seconds> m_retryAfter;
};

// A short stable name of the case, for logs and test output ("http(503)", "notFound"...).
QString debugName(const DriveError &error);

} // namespace OrvelanNimbal
