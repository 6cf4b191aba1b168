// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace OrvelanNimbal {

class DriveError;

// Why checking for or installing an update failed. errorDescription() is the French text the
// update window shows; `detail()` (a reason from the network or the disk) is part of it.
class UpdateError : public std::exception {
public:
    enum class Kind {
        feedUnreachable,  // the feed could not be fetched
        feedUnreadable,   // it came, but is not a release feed
        downloadFailed,   // the release could not be fetched or written to the cache
        incomplete,       // the download is shorter or longer than announced
        signatureMissing, // the feed gives no signature for the release
        signatureInvalid, // the bytes are not what the release key signed
        installFailed,    // the verified release could not take the place of the old one
        handOverFailed,   // the desktop would not open the verified package
        relaunchFailed,   // the replaced AppImage would not start
    };

    UpdateError(Kind kind, QString detail = {});
    // A failure of the release server met while fetching the feed or a release: the detail says
    // what the server did, in words about the release server rather than the drive.
    static UpdateError fromNetwork(Kind kind, const DriveError &failure);

    Kind kind() const { return m_kind; }
    const QString &detail() const { return m_detail; }
    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_detail;
    QByteArray m_what;
};

} // namespace OrvelanNimbal
