// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/PublishReleaseCommand.h"

#include "ServiceSchema.h"

#include "cli/CommandLine.h"
#include "cli/OptionParsing.h"
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "foundation/Secrets.h"
#include "foundation/ServiceClock.h"
#include "updates/Releases.h"
#include "updates/ReleaseSigning.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cstdio>
#include <stdexcept>

namespace OrvelanNimbal::Service {

namespace {

constexpr long long defaultDummyBytes = 3 * 1024 * 1024;

void complain(const QString &text)
{
    std::fprintf(stderr, "nimbal-service: %s (voir nimbal-service --help)\n",
                 text.toLocal8Bit().constData());
}

bool isVersion(const QString &text)
{
    static const QRegularExpression version(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    return version.match(text).hasMatch();
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("fichier illisible : " + path.toStdString() + " ("
                                 + file.errorString().toStdString() + ")");
    return file.readAll();
}

void writeRelease(const std::filesystem::path &path, const QByteArray &bytes)
{
    std::error_code error;
    createPrivateFolders(path.parent_path(), error);
    if (error)
        throw std::runtime_error("création de " + path.parent_path().string()
                                 + " impossible : " + error.message());
    QSaveFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error("écriture impossible : " + path.string() + " ("
                                 + file.errorString().toStdString() + ")");
}

} // namespace

int runPublishRelease(const QStringList &arguments)
{
    QCommandLineParser parser;
    for (const char *name : {"data", "signing-key", "release-version", "display-version", "file",
                             "dummy-size", "notes", "notes-link", "minimum-system-version", "type"})
        parser.addOption({QString::fromLatin1(name), {}, QStringLiteral("VALUE")});
    const QStringList required{QStringLiteral("data"), QStringLiteral("signing-key"),
                               QStringLiteral("release-version")};
    if (const auto exitCode = parseOptions(parser, arguments, required))
        return *exitCode;
    const auto dummyBytes =
        integerOption(parser, QStringLiteral("dummy-size"), defaultDummyBytes, 1, 1LL << 30);
    if (!dummyBytes)
        return exitUsage;

    Release release;
    release.version = parser.value(QStringLiteral("release-version"));
    release.displayVersion = parser.isSet(QStringLiteral("display-version"))
                                 ? parser.value(QStringLiteral("display-version"))
                                 : release.version;
    const QString minimum = parser.value(QStringLiteral("minimum-system-version"));
    if (!isVersion(release.version) || (!minimum.isEmpty() && !isVersion(minimum))) {
        complain(QStringLiteral("une version s'écrit en nombres séparés par des points (1.4.0)"));
        return exitUsage;
    }
    if (!minimum.isEmpty())
        release.minimumSystemVersion = minimum;
    release.notes = parser.value(QStringLiteral("notes"));
    if (parser.isSet(QStringLiteral("notes-link")))
        release.notesLink = parser.value(QStringLiteral("notes-link"));
    const QString file = parser.value(QStringLiteral("file"));
    release.fileName = file.isEmpty()
                           ? QStringLiteral("orvelan-nimbal-%1-demo.bin").arg(release.version)
                           : QFileInfo(file).fileName();
    if (!isReleaseFileName(release.fileName)) {
        complain(QStringLiteral("nom de fichier refusé : %1").arg(release.fileName));
        return exitUsage;
    }
    release.type = parser.isSet(QStringLiteral("type"))
                       ? parser.value(QStringLiteral("type"))
                       : QStringLiteral("application/octet-stream");

    try {
        const std::filesystem::path data = parser.value(QStringLiteral("data")).toStdString();
        const QByteArray bytes = file.isEmpty() ? randomBytes(int(*dummyBytes)) : readWhole(file);
        const std::filesystem::path keyFile =
            parser.value(QStringLiteral("signing-key")).toStdString();
        release.signature = QString::fromLatin1(signEd25519(keyFile, bytes).toBase64());
        release.length = bytes.size();
        release.publishedAt = systemServiceClock()->now();

        auto database = openDataDirectory(data, serviceSchema());
        writeRelease(releaseFolder(data) / release.fileName.toStdString(), bytes);
        database->transaction([&](Connection &connection) { recordRelease(connection, release); });
        std::printf("version publiée : %s (%s, %lld octets)\n",
                    release.displayVersion.toLocal8Bit().constData(),
                    release.fileName.toLocal8Bit().constData(),
                    static_cast<long long>(release.length));
        return exitSuccess;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "nimbal-service: %s\n", error.what());
        return exitFailure;
    }
}

} // namespace OrvelanNimbal::Service
