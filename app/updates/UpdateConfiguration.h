// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace OrvelanNimbal {

// Everything the updater needs to know about this build and this machine. The application uses
// compiledIn(); tests build their own.
struct UpdateConfiguration {
    // Off in a build for a distribution's archive, whose own updates replace ours: no feed is
    // read and no update is offered.
    bool selfUpdating = true;
    QUrl feedURL;
    // The Ed25519 key releases are signed with, in its DER form (SubjectPublicKeyInfo).
    QByteArray publicKey;
    // This build's version, as the feed writes versions ("1.4.0"); empty when unknown.
    QString currentVersion;
    // This build's number, only shown; empty when none was given.
    QString buildNumber;
    // What an item's minimum system version is compared with: the C library's version, which
    // decides whether a Linux build runs here.
    QString systemVersion;
    // Downloads go here, and nowhere else.
    QString downloadFolder;
    // The AppImage the application runs from, when it does; it is then replaced in place.
    std::optional<QString> appImagePath;

    // A first background check this long after launch (once sign-in and the drive have had
    // their turn), then one per interval.
    std::chrono::milliseconds firstCheckDelay = std::chrono::seconds(10);
    std::chrono::milliseconds checkInterval = std::chrono::hours(24);

    // The compiled-in feed and key, this build's versions, and this session's machine.
    static UpdateConfiguration compiledIn();
};

} // namespace OrvelanNimbal
