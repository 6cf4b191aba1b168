// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClientHarness.h"
#include "OpensslSigner.h"
#include "updates/UpdateDesktop.h"
#include "updates/Updater.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace OrvelanNimbal::Testing {

// A release as the scripted release server offers it.
struct OfferedRelease {
    QString version;
    QByteArray bytes;
    QByteArray signature; // base64; empty: the feed gives none
    QString fileName = QStringLiteral("orvelan-nimbal.deb");
    QString type = QStringLiteral("application/vnd.debian.binary-package");
};

// How the scripted release server sends a release file.
enum class Serving { ranges, wholeAtOnce, shortOfOneByte, notFound, hangs };

// The panel as the updater sees it.
struct FakePresenter final : UpdatePresenter {
    bool focused = false;
    int windowsShown = 0;
    bool isPanelFocused() const override { return focused; }
    void showUpdateWindow() override { ++windowsShown; }
};

// The desktop: what was handed over (with the bytes the file held then) and relaunched.
struct FakeDesktop final : UpdateDesktop {
    bool accepts = true;
    QStringList opened;
    QByteArray openedBytes;
    QStringList relaunched;
    bool openPackage(const QString &path) override
    {
        opened.append(path);
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            openedBytes = file.readAll();
        return accepts;
    }
    bool relaunch(const QString &image) override
    {
        relaunched.append(image);
        return true;
    }
};

// An updater of build 1.4.0 (27) on a system of version 2.36, over a scripted release server at
// https://updates.test, a manual clock, a fake panel and a fake desktop. One attempt per request,
// so that a failure shows at once.
struct UpdaterHarness {
    static inline const QUrl feedURL = QUrl(QStringLiteral("https://updates.test/appcast.xml"));

    ClientHarness client{1};
    OpensslSigner signer;
    QTemporaryDir folder;
    FakePresenter presenter;
    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    UpdateConfiguration configuration;
    QList<OfferedRelease> releases;
    Serving serving = Serving::ranges;
    std::unique_ptr<Updater> updater;

    UpdaterHarness()
    {
        client.clock->setAutomatic(false);
        configuration.feedURL = feedURL;
        configuration.publicKey = signer.publicKey();
        configuration.currentVersion = QStringLiteral("1.4.0");
        configuration.buildNumber = QStringLiteral("27");
        configuration.systemVersion = QStringLiteral("2.36");
        configuration.downloadFolder = folder.filePath(QStringLiteral("cache/updates"));
        client.transport->setHandler(
            [this](const HttpRequest &request) { return answer(request); });
    }

    // A release of `version` whose bytes are signed by the updater's key.
    OfferedRelease signedRelease(const QString &version, int size = 5 * 1024 * 1024 + 17)
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 31 + version.size());
        return {version, bytes, signer.signature(bytes)};
    }

    // Runs the application as the AppImage `image` (not created here), offered release 1.5 as
    // an AppImage.
    OfferedRelease offerAppImage(const QString &image)
    {
        configuration.appImagePath = image;
        OfferedRelease release = signedRelease(QStringLiteral("1.5"));
        release.fileName = QStringLiteral("Orvelan_Nimbal-1.5-x86_64.AppImage");
        release.type = QStringLiteral("application/vnd.appimage");
        releases = {release};
        return release;
    }

    // The user's check, until it has answered.
    void checkNow()
    {
        updater->checkForUpdates();
        QTRY_VERIFY(updater->state() != Updater::State::Checking);
    }

    Updater &start()
    {
        updater = std::make_unique<Updater>(client.client, configuration, desktop);
        updater->setPresenter(&presenter);
        return *updater;
    }

    // Lets the first scheduled check run, and waits until it has asked for the feed.
    void runScheduledCheck()
    {
        const auto before = feedRequests();
        client.clock->advance(client.clock->sleeps().isEmpty() ? configuration.firstCheckDelay
                                                               : configuration.checkInterval);
        QTRY_COMPARE(feedRequests(), before + 1);
        QCoreApplication::processEvents();
    }

    qsizetype feedRequests() const { return requestsFor(feedURL.path()); }
    qsizetype requestsFor(const QString &path) const
    {
        qsizetype count = 0;
        for (const HttpRequest &request : client.transport->requests())
            count += request.url.path() == path;
        return count;
    }
    QStringList downloadFolderFiles() const
    {
        return QDir(configuration.downloadFolder).entryList(QDir::Files | QDir::Hidden);
    }

    QByteArray feed() const
    {
        QByteArray xml =
            "<rss version=\"2.0\" xmlns:nimbal=\"https://nimbal.orvelan.net/xml/updates\">"
            "<channel><title>Orvelan Nimbal</title>";
        for (const OfferedRelease &release : releases) {
            xml += "<item><title>Orvelan Nimbal " + release.version.toUtf8()
                   + "</title><description>Notes " + release.version.toUtf8()
                   + "</description><nimbal:version>" + release.version.toUtf8()
                   + "</nimbal:version><enclosure url=\"/releases/" + release.fileName.toUtf8()
                   + "\" length=\"" + QByteArray::number(release.bytes.size()) + "\" type=\""
                   + release.type.toUtf8() + "\"";
            if (!release.signature.isEmpty())
                xml += " nimbal:signature=\"" + release.signature + "\"";
            xml += "/></item>";
        }
        return xml + "</channel></rss>";
    }

    FakeTransport::Reply answer(const HttpRequest &request) const
    {
        if (request.url == feedURL)
            return FakeTransport::Reply::ok(feed());
        for (const OfferedRelease &release : releases) {
            if (request.url.path() != u"/releases/"_qs + release.fileName)
                continue;
            switch (serving) {
            case Serving::ranges:
                break;
            case Serving::wholeAtOnce:
                return FakeTransport::Reply::ok(release.bytes);
            case Serving::shortOfOneByte:
                return FakeTransport::Reply::ok(release.bytes.chopped(1));
            case Serving::notFound:
                return FakeTransport::Reply::withStatus(404);
            case Serving::hangs:
                return FakeTransport::Reply::hang();
            }
            // "bytes=first-last"
            const QByteArray range = request.header("Range").value_or(QByteArray()).mid(6);
            const qint64 first = range.left(range.indexOf('-')).toLongLong();
            const qint64 last = range.mid(range.indexOf('-') + 1).toLongLong();
            const QByteArray piece = release.bytes.mid(first, last - first + 1);
            return FakeTransport::Reply::withStatus(
                206, piece,
                {{"Content-Range", "bytes " + QByteArray::number(first) + '-'
                                       + QByteArray::number(first + piece.size() - 1) + '/'
                                       + QByteArray::number(release.bytes.size())}});
        }
        return FakeTransport::Reply::withStatus(404);
    }
};

} // namespace OrvelanNimbal::Testing
