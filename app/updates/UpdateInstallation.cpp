// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/UpdateInstallation.h"

#include "async/OffMainThread_p.h"
#include "updates/AppImageReplacement.h"
#include "updates/ReleaseServer.h"
#include "updates/ReleaseSignature.h"
#include "updates/UpdateDesktop.h"
#include "updates/UpdateError.h"
#include "updates/UpdateLogging_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace OrvelanNimbal {

namespace {

// The folder holds one download at a time: what an earlier session left (a package already
// handed over, a download cut short by a crash) goes before a new one starts.
void emptyDownloadFolder(const QString &folder)
{
    QDir directory(folder);
    if (!directory.mkpath(QStringLiteral(".")))
        throw UpdateError(UpdateError::Kind::downloadFailed,
                          QStringLiteral("Le dossier %1 ne peut pas être créé.").arg(folder));
    for (const QString &name : directory.entryList(QDir::Files | QDir::Hidden))
        directory.remove(name);
}

// Verification and replacement read a whole release: on a worker thread. Named, not written
// inside the co_await: GCC 12 destroys a capturing lambda there twice.
QCoro::Task<bool> verifyOffMainThread(QString path, AppcastItem release, QByteArray publicKey)
{
    auto work = [path, release, publicKey] {
        verifyRelease(path, release.enclosureLength, release.signature, publicKey);
        return true;
    };
    return runOffMainThread(std::move(work));
}

QCoro::Task<bool> replaceOffMainThread(QString path, QString image)
{
    auto work = [path, image] {
        replaceAppImage(path, image);
        return true;
    };
    return runOffMainThread(std::move(work));
}

} // namespace

QString releaseFileName(const AppcastItem &release)
{
    QString name = QFileInfo(release.enclosureURL.path()).fileName();
    name.removeIf([](QChar c) {
        const bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
                          || (c >= u'0' && c <= u'9') || c == u'.' || c == u'_' || c == u'-'
                          || c == u'+';
        return !safe;
    });
    while (name.startsWith(u'.') || name.startsWith(u'-'))
        name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("orvelan-nimbal-") + release.version.text() : name;
}

bool isAppImage(const AppcastItem &release)
{
    return release.enclosureType == u"application/vnd.appimage"
           || release.enclosureType == u"application/x-iso9660-appimage"
           || releaseFileName(release).endsWith(QStringLiteral(".AppImage"), Qt::CaseInsensitive);
}

QCoro::Task<InstallOutcome> installRelease(std::shared_ptr<ApiClient> client,
                                           UpdateConfiguration configuration, AppcastItem release,
                                           std::shared_ptr<UpdateDesktop> desktop,
                                           InstallObserver observer, CancellationToken cancel)
{
    // Nothing could vouch for it: not worth the download.
    if (release.signature.isEmpty())
        throw UpdateError(UpdateError::Kind::signatureMissing);
    emptyDownloadFolder(configuration.downloadFolder);
    const QString verified = configuration.downloadFolder + u'/' + releaseFileName(release);
    // A name of its own: a download just cancelled may still be removing its own part file.
    const QString unverified = QStringLiteral("%1.%2.part")
                                   .arg(verified)
                                   .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    try {
        co_await downloadEnclosure(client, release.enclosureURL, release.enclosureLength,
                                   unverified, observer.downloaded, cancel);
        cancel.throwIfCancelled();
        observer.verifying();
        co_await verifyOffMainThread(unverified, release, configuration.publicKey);
        cancel.throwIfCancelled();
    } catch (...) {
        QFile::remove(unverified);
        throw;
    }
    if (!QFile::rename(unverified, verified)) {
        QFile::remove(unverified);
        throw UpdateError(UpdateError::Kind::downloadFailed,
                          QStringLiteral("Le fichier vérifié ne peut pas être rangé dans %1.")
                              .arg(configuration.downloadFolder));
    }
    qCInfo(lcUpdates, "release %s downloaded and verified", qUtf8Printable(release.version.text()));

    if (configuration.appImagePath && isAppImage(release)) {
        co_await replaceOffMainThread(verified, *configuration.appImagePath);
        QFile::remove(verified);
        co_return InstallOutcome::replacedAppImage;
    }
    if (!desktop->openPackage(verified))
        throw UpdateError(UpdateError::Kind::handOverFailed, verified);
    co_return InstallOutcome::handedOver;
}

} // namespace OrvelanNimbal
