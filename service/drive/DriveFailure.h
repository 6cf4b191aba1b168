// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <stdexcept>
#include <string>

namespace httplib {
struct Response;
}

namespace OrvelanNimbal::Service {

// A drive request that cannot be carried out as asked. Thrown from inside a transaction, it
// rolls everything back; the route answers it with its status and {"error", "message"}. The
// code is what a client may look at; the message, in French, is for people reading logs.
class DriveFailure : public std::runtime_error {
public:
    DriveFailure(int status, QString code, QString message, std::string conflict = {});

    int status() const { return m_status; }
    const QString &code() const { return m_code; }
    const QString &message() const { return m_message; }
    // The "X-Drive-Conflict" value of a 409 the client must tell apart; empty otherwise.
    const std::string &conflict() const { return m_conflict; }

    void answer(httplib::Response &response) const;

    // 400: the request itself is malformed.
    static DriveFailure invalid(const QString &message);
    static DriveFailure invalidName(const QString &message);
    // 404: no such item in this account's drive (another account's items included).
    static DriveFailure notFound(const QString &message);
    // 409: another item of the destination folder already has the name.
    static DriveFailure nameTaken(const QString &name);
    // 409 "archived": the content sits in cold storage and is only served from the web.
    static DriveFailure archived();
    // 409 "reinforced": the file is under reinforced protection; its content stays as it is.
    static DriveFailure reinforced();
    // 409 without a conflict header: the content is no longer the version the client last saw.
    static DriveFailure staleVersion();
    // 410: the change feed no longer knows the cursor (or never did).
    static DriveFailure cursorExpired();
    // 413: more content than one request may carry; the client sends it in parts instead.
    static DriveFailure tooLarge(const QString &message);
    // 423: the file is open in the online editor, which holds its content.
    static DriveFailure locked();
    // 507: the account's storage cannot take that much more.
    static DriveFailure insufficientQuota();
    // 400: what was received is not what the client said it sent (size, hash, parts). The code
    // says which.
    static DriveFailure mismatch(const QString &code, const QString &message);

private:
    int m_status;
    QString m_code;
    QString m_message;
    std::string m_conflict;
};

} // namespace OrvelanNimbal::Service
