// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "client/ApiClient.h"
#include "domains/FileProviderSystem.h"
#include "events/DriveEventStream.h"
#include "system/Desktop.h"
#include "system/ExtensionTool.h"
#include "system/LoginItem.h"
#include "system/Preferences.h"
#include "system/WakeNotifier.h"
#include "updates/UpdateConfiguration.h"
#include "updates/UpdateDesktop.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace OrvelanNimbal {

// Runs the live change feed until `cancel` fires: onChange per change notice, onStatus per
// change of the connection. The service's event stream, or a stand-in.
using LiveEvents = std::function<QCoro::Task<>(DriveEventStream::ChangeHandler onChange,
                                               DriveEventStream::StatusHandler onStatus,
                                               CancellationToken cancel)>;

// Everything the model works with and does not make itself: the service client (holding the
// session; its clock times everything the model waits for, the updater's schedule included),
// the file-provider system, the desktop around it and what the updater needs.
// desktopEnvironment() gives the real ones; tests put doubles in their place.
struct AppEnvironment {
    std::shared_ptr<ApiClient> client;
    QUrl eventsBaseURL;
    LiveEvents liveEvents; // empty: the service's event stream under eventsBaseURL
    std::shared_ptr<FileProviderSystem> fileProvider;
    std::shared_ptr<Preferences> preferences;
    std::shared_ptr<LoginItem> loginItem;
    std::shared_ptr<ExtensionTool> extensionTool;
    std::shared_ptr<WakeNotifier> wakeNotifier;
    std::function<std::optional<QString>()> computerName;
    std::shared_ptr<Desktop> desktop;
    UpdateConfiguration updates = UpdateConfiguration::compiledIn();
    std::shared_ptr<UpdateDesktop> updateDesktop; // empty: the desktop's own handlers
};

// The application as it ships: the compiled-in service addresses, the pipeline's settings
// (3 attempts, 400 ms first back-off, 60 s timeout), the session and trusted devices in the
// Secret Service, the user's preferences and autostart folder, the extension's command, logind's
// wake-ups and the desktop's handlers. The file-provider system is the one given.
AppEnvironment desktopEnvironment(std::shared_ptr<FileProviderSystem> fileProvider);

} // namespace OrvelanNimbal
