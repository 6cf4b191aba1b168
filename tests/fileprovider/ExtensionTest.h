// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AsyncTest.h"
#include "ExtensionBus.h"
#include "ServiceTest.h"
#include "domains/DBusFileProviderSystem.h"

#include <QMap>

#include <memory>
#include <optional>

namespace OrvelanNimbal::Testing {

using Tree = QMap<QString, QString>; // path → SHA-256 of a file, "" for a folder

// What the drive holds that belongs on disk: live folders, and files of the standard class.
Tree driveTree(const DriveAPI &drive, std::optional<qint64> folder = {},
               const QString &prefix = {});
// What the folder holds, the extension's marker aside.
Tree diskTree(const QString &root);
// `size` bytes no stream compresses away, the same for the same `seed`.
QByteArray generated(qint64 size, quint32 seed = 2463534242u);
// QVERIFY2 reads its message whether or not the check fails.
QString describe(const std::optional<FileProviderError> &error);

// The extension as the application meets it: `nimbal-fileprovider` started by D-Bus activation
// on a bus of the test's own, driven through the application's D-Bus file-provider system,
// against the real local service, the real keychain and real folders.
class ExtensionTest : public ServiceTest {
protected:
    static constexpr int stabilisationCeilingMilliseconds = 60000;

    struct Mounted {
        Mounted(QString email, std::shared_ptr<ApiClient> client, DriveAPI drive)
            : email(std::move(email))
            , client(std::move(client))
            , drive(std::move(drive))
        {}
        ~Mounted();

        QString email;
        std::shared_ptr<ApiClient> client;
        DriveAPI drive;
        std::unique_ptr<ExtensionBus> bus;
        std::unique_ptr<DBusFileProviderSystem> system;
        std::shared_ptr<KeychainSessionStore> session;

        QString folder() const { return bus->domainFolder(email); }
        QString summaryFile() const;
    };

    // A new account whose session is where the extension looks, and a bus for its extension.
    std::unique_ptr<Mounted> account(const QString &tag, qint64 quotaMegabytes = 10240);
    void addDomain(Mounted &mounted);
    static std::optional<FileProviderError> stabilise(Mounted &mounted, bool signal = true);
    // What the extension says of the domain's transfers of one kind.
    static FileProviderProgress progress(Mounted &mounted, FileProviderTransferKind kind);
    // Runs one call of the extension; gives its refusal, if any.
    static std::optional<FileProviderError>
    awaitCompletion(QCoro::Task<> call, int ceiling = stabilisationCeilingMilliseconds);
};

} // namespace OrvelanNimbal::Testing
