// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"
#include "models/DriveModels.h"

#include <QByteArray>
#include <QStringList>

#include <memory>
#include <optional>

namespace httplib {
class Client;
}

namespace OrvelanNimbal::Testing {

class KeychainScope;
class LocalService;

// The local service's drive controls (/_test/drive/…): files with chosen content and storage
// class, ids moved up, the change feed compacted. Called with a plain client of their own,
// never through the client under test; a refusal throws std::runtime_error.
class DriveControls {
public:
    struct NewFile {
        QString name;
        std::optional<qint64> folderID;
        QByteArray content;
        QString storageClass = QStringLiteral("standard");
        QString thumbnailPath;  // "file_miniatures_path" as stored; empty for none
        QStringList thumbnails; // keys given an image
    };

    explicit DriveControls(const LocalService &service);
    ~DriveControls();
    DriveControls(const DriveControls &) = delete;
    DriveControls &operator=(const DriveControls &) = delete;

    // The file as the service records it, read the way the client reads a listing.
    DriveFile putFile(const QString &email, const NewFile &file);
    // Ids the service hands out from now on are at least `next`.
    void startIdsAt(qint64 next);
    // The feed refuses every cursor but the newest, which this gives.
    qint64 compactChanges(const QString &email);
    // Pre-signed addresses handed out from now on live this long (0: expired at once). The
    // service's reset() restores the default.
    void setPresignedURLLifetime(qint64 seconds);

    // A file's state, changed as the web site would; what is not given stays.
    struct Flags {
        std::optional<bool> locked;     // open in the online editor
        std::optional<bool> reinforced; // under reinforced protection
        QString storageClass;           // empty: unchanged
    };
    DriveFile setFlags(const QString &email, qint64 fileID, const Flags &flags);

    // What the storage does to the next `count` part PUTs. The service's reset() clears them.
    enum class StorageFault {
        fail,     // answers `status` and stores nothing
        drop,     // answers as if stored, ETag and all, and keeps nothing
        omitETag, // stores the part and answers without its ETag
    };
    void storageFault(StorageFault fault, int count = 1, int status = 503);

    // What an account's uploads have left on the service: rows of uploads in progress and of
    // their parts, files in its parts folder and in its content folder.
    struct Leftovers {
        int uploads = 0;
        int parts = 0;
        int partFiles = 0;
        int contentFiles = 0;
    };
    Leftovers leftovers(const QString &email);

private:
    QByteArray post(const std::string &path, const QByteArray &body);
    QByteArray get(const std::string &path);

    std::unique_ptr<httplib::Client> m_client;
};

// A new account of the local service, signed in through the real client and keychain.
struct DriveAccount {
    QString email;
    std::shared_ptr<ApiClient> client;
    DriveAPI drive;
};
DriveAccount signedInDriveAccount(LocalService &service, KeychainScope &keychain,
                                  const QString &tag, qint64 quotaMegabytes = 10240);

} // namespace OrvelanNimbal::Testing
