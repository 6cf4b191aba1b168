// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExtensionTest.h"

#include "config/OrvelanNimbal.h"
#include "domains/FileProviderFailure.h"
#include "sync/ContentHasher.h"

#include <QDirIterator>
#include <QTest>
#include <QUuid>

namespace OrvelanNimbal::Testing {

// A test drive is a few levels deep.
// NOLINTNEXTLINE(misc-no-recursion)
Tree driveTree(const DriveAPI &drive, std::optional<qint64> folder, const QString &prefix)
{
    Tree tree;
    for (const DriveFolder &child : runAsync(drive.folders(folder))) {
        tree.insert(prefix + child.name, QString());
        tree.insert(driveTree(drive, child.id, prefix + child.name + u'/'));
    }
    for (const DriveFile &file : runAsync(drive.files(folder))) {
        if (file.isSynchronizable())
            tree.insert(prefix + file.name, file.contentHash.value_or(QString()));
    }
    return tree;
}

Tree diskTree(const QString &root)
{
    Tree tree;
    QDirIterator entries(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (relative == u".nimbal-folder")
            continue;
        tree.insert(relative, entries.fileInfo().isDir()
                                  ? QString()
                                  : ContentHasher::sha256Blocking(QUrl::fromLocalFile(path)));
    }
    return tree;
}

QByteArray generated(qint64 size, quint32 seed)
{
    QByteArray content(size, Qt::Uninitialized);
    quint32 state = seed | 1; // xorshift never leaves 0
    for (qint64 i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        content[i] = char(state);
    }
    return content;
}

QString describe(const std::optional<FileProviderError> &error)
{
    return error ? error->name + u": "_qs + error->message : QString();
}

ExtensionTest::Mounted::~Mounted()
{
    runAsync(session->clear());
}

QString ExtensionTest::Mounted::summaryFile() const
{
    return bus->container() + u"/summary-"_qs + accountFileKey(email) + u".json"_qs;
}

std::unique_ptr<ExtensionTest::Mounted> ExtensionTest::account(const QString &tag,
                                                               qint64 quotaMegabytes)
{
    DriveAccount signedIn = signedInAccount(tag, quotaMegabytes);
    auto mounted = std::make_unique<Mounted>(signedIn.email, signedIn.client, signedIn.drive);
    const QString suffix = u".extension-"_qs + QUuid::createUuid().toString(QUuid::Id128).left(12);
    mounted->session =
        std::make_shared<KeychainSessionStore>(sessionKeychainService + suffix, appGroupIdentifier);
    // The item the application writes at sign-in, under this test's own name.
    runAsync(mounted->session->save(*signedIn.client->session()));
    mounted->bus = std::make_unique<ExtensionBus>(service().apiBaseURL(), suffix);
    if (!mounted->bus->isRunning())
        qFatal("no bus for the extension: %s", qPrintable(mounted->bus->errorString()));
    mounted->system = std::make_unique<DBusFileProviderSystem>(mounted->bus->bus());
    return mounted;
}

std::optional<FileProviderError> ExtensionTest::awaitCompletion(QCoro::Task<> call, int ceiling)
{
    try {
        runAsync(std::move(call), std::chrono::milliseconds(ceiling));
    } catch (const FileProviderFailure &failure) {
        return failure.error();
    }
    return std::nullopt;
}

void ExtensionTest::addDomain(Mounted &mounted)
{
    const auto error =
        awaitCompletion(mounted.system->addDomain({mounted.email, mounted.email, true}, {}));
    QVERIFY2(!error, qPrintable(describe(error)));
}

FileProviderProgress ExtensionTest::progress(Mounted &mounted, FileProviderTransferKind kind)
{
    return runAsync(mounted.system->progress(mounted.email, kind, {}));
}

std::optional<FileProviderError> ExtensionTest::stabilise(Mounted &mounted, bool signal)
{
    if (signal) {
        if (auto error = awaitCompletion(mounted.system->signalWorkingSet(mounted.email, {})))
            return error;
    }
    return awaitCompletion(mounted.system->waitForStabilization(mounted.email, {}));
}

} // namespace OrvelanNimbal::Testing
