// SPDX-License-Identifier: GPL-3.0-or-later
// The values CMake compiles in (see app/updates/sources.cmake) reach the program here only.
#include "updates/UpdateConfiguration.h"

#include <QStandardPaths>

#include <gnu/libc-version.h>

namespace OrvelanNimbal {

UpdateConfiguration UpdateConfiguration::compiledIn()
{
    UpdateConfiguration configuration;
    configuration.selfUpdating = NIMBAL_SELF_UPDATE != 0;
    configuration.feedURL = QUrl(QStringLiteral(NIMBAL_UPDATE_FEED_URL));
    configuration.publicKey = QByteArray::fromBase64(QByteArrayLiteral(NIMBAL_UPDATE_PUBLIC_KEY));
    configuration.currentVersion = QStringLiteral(NIMBAL_VERSION);
    configuration.buildNumber = QStringLiteral(NIMBAL_BUILD_NUMBER);
    configuration.systemVersion = QString::fromLatin1(gnu_get_libc_version());
    configuration.downloadFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/net.orvelan.nimbal/updates");
    // The AppImage runtime names the image it started from.
    if (const QString image = qEnvironmentVariable("APPIMAGE"); !image.isEmpty())
        configuration.appImagePath = image;
    return configuration;
}

} // namespace OrvelanNimbal
