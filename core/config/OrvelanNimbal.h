// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Identifiers shared by the application and the file-provider extension, and the locations of
// the per-account files in the container both of them read.
namespace OrvelanNimbal {

inline const QString teamIdentifier = QStringLiteral("K7QW2ZP4TM");
inline const QString appGroupIdentifier = QStringLiteral("K7QW2ZP4TM.group.net.orvelan.nimbal");
inline const QString fileProviderBundleIdentifier =
    QStringLiteral("net.orvelan.nimbal.sync.fileprovider");
inline const QString domainDisplayName = QStringLiteral("Orvelan Nimbal");

inline const QString sessionKeychainService = QStringLiteral("net.orvelan.nimbal.session");
inline const QString trustedDeviceKeychainService =
    QStringLiteral("net.orvelan.nimbal.trusted-device");

// Compiled-in service addresses (see the CMake cache variables NIMBAL_API_BASE_URL and
// NIMBAL_EVENTS_BASE_URL). Built once, on first use.
const QUrl &defaultAPIBaseURL();
const QUrl &defaultEventsBaseURL();

// The container shared with the extension: $XDG_DATA_HOME/net.orvelan.nimbal/, created on demand.
// Nothing when it cannot be created.
std::optional<QUrl> appGroupContainerURL();
std::optional<QUrl> itemStoreURL(const QString &account);
std::optional<QUrl> summaryURL(const QString &account);

// Deletes the account's item store and summary and the legacy account-independent item store.
// Never fails: a missing container or file is simply skipped.
void removeLocalState(const QString &account);

// The account lower-cased, with "/", ":" and "\" made "_", so that it can be part of a file name.
QString accountFileKey(const QString &account);

} // namespace OrvelanNimbal
