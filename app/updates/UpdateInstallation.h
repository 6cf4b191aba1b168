// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "updates/Appcast.h"
#include "updates/UpdateConfiguration.h"

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>

namespace OrvelanNimbal {

class ApiClient;
class UpdateDesktop;

enum class InstallOutcome {
    replacedAppImage, // the new image is in place; a restart runs it
    handedOver,       // the verified package is with the user's package installer
};

// What an installation tells as it goes.
struct InstallObserver {
    std::function<void(qint64 received)> downloaded;
    std::function<void()> verifying;
};

// Installs `release`: downloads it into the configuration's download folder, then vouches for
// its length and signature before anything else happens to it. A release that fails either is
// deleted at once; only a verified one gets its final name. Then, when the application runs
// from an AppImage and the release is one, the new image replaces the old in place; otherwise
// the verified package goes to the desktop. Nothing unverified is ever run or handed on.
//
// Throws UpdateError or OperationCancelled; either way no partial or refused download is left.
QCoro::Task<InstallOutcome> installRelease(std::shared_ptr<ApiClient> client,
                                           UpdateConfiguration configuration, AppcastItem release,
                                           std::shared_ptr<UpdateDesktop> desktop,
                                           InstallObserver observer, CancellationToken cancel);

// The name a release is saved under: the last segment of its address, reduced to characters
// safe in any file system and shell, never hidden; "orvelan-nimbal-" and the version when
// nothing is left.
QString releaseFileName(const AppcastItem &release);

// Whether a release is an AppImage, by its type or its name.
bool isAppImage(const AppcastItem &release);

} // namespace OrvelanNimbal
