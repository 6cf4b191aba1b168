// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace OrvelanNimbal {

// The secure store refused an operation on the session item. `status` is the store's code;
// `systemMessage` its own wording, when it gave one.
class KeychainError : public std::exception {
public:
    explicit KeychainError(qint32 status, QString systemMessage = {});

    qint32 status() const { return m_status; }
    QString errorDescription() const;
    const char *what() const noexcept override;

    friend bool operator==(const KeychainError &a, const KeychainError &b)
    {
        return a.m_status == b.m_status;
    }

private:
    qint32 m_status;
    QString m_systemMessage;
    QByteArray m_what;
};

} // namespace OrvelanNimbal
