// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "models/DriveModels.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace OrvelanNimbal::CommandLine {

// What `nimbal status` found, and its two renderings: French lines for a person, and the stable
// JSON of `--json` (documented in nimbal(1): keys are never renamed or removed, and a value that
// could not be learned is null).
struct StatusReport {
    struct Left {
        qint64 items = 0;
        qint64 bytes = 0;
    };

    bool signedIn = false;
    QString account;
    bool extensionReachable = false;
    bool extensionEnabled = false;
    bool domainRegistered = false;
    bool domainEnabled = false;
    QString folder;
    bool paused = false;
    std::optional<QDateTime> pausedUntil;
    std::optional<QDateTime> lastSync;
    std::optional<Left> toSend;
    std::optional<Left> toReceive;
    bool serviceReachable = false;
    std::optional<DriveQuota> quota;
    qsizetype conflicts = 0;
    std::optional<QString> lastConflict; // the panel's sentence for the newest one
    qsizetype archived = 0;
    std::optional<QString> archivedText; // the panel's sentence

    // "signedOut", "extensionUnreachable", "needsApproval", "paused", "syncing" or "ready".
    QString state() const;
    // The status line, in the panel's words where it has them.
    QString stateText() const;

    QJsonObject toJson() const;
    QString toText() const;
};

} // namespace OrvelanNimbal::CommandLine
