// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/KeychainStores.h"
#include "config/ComputerName.h"
#include "config/OrvelanNimbal.h"
#include "model/AppEnvironment.h"
#include "net/CurlTransport.h"
#include "system/XdgAutostartEntry.h"

#include <QCoreApplication>

namespace OrvelanNimbal {

AppEnvironment desktopEnvironment(std::shared_ptr<FileProviderSystem> fileProvider)
{
    auto client = ApiClient::create(
        DriveConfiguration(defaultAPIBaseURL(), 3, std::chrono::milliseconds(400), 60),
        std::make_shared<CurlTransport>(),
        std::make_shared<KeychainSessionStore>(sessionKeychainService, appGroupIdentifier),
        std::make_shared<KeychainTrustedDeviceStore>(trustedDeviceKeychainService,
                                                     appGroupIdentifier),
        systemClock());
    return {
        std::move(client),
        defaultEventsBaseURL(),
        {},
        std::move(fileProvider),
        Preferences::forUser(),
        std::make_shared<XdgAutostartEntry>(
            XdgAutostartEntry::userFolder(), QCoreApplication::applicationFilePath(),
            XdgAutostartEntry::installedEntryOf(QCoreApplication::applicationFilePath())),
        std::make_shared<ExtensionTool>(ExtensionTool::installedProgram()),
        std::make_shared<LogindWakeNotifier>(),
        [] { return computerName(); },
        std::make_shared<SessionDesktop>(),
        UpdateConfiguration::compiledIn(),
        {},
    };
}

} // namespace OrvelanNimbal
