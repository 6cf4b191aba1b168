// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "updates/UpdateVersion.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace OrvelanNimbal {

// The namespace of the feed's own elements and attributes.
inline const QString appcastNamespace = QStringLiteral("https://nimbal.orvelan.net/xml/updates");

// One release of the feed: an RSS 2.0 <item> with our elements, for example
//   <item>
//     <title>Orvelan Nimbal 1.5</title>
//     <pubDate>Tue, 04 Jun 2024 09:00:00 +0000</pubDate>
//     <description>What changed, as text.</description>
//     <nimbal:version>1.5.0</nimbal:version>
//     <nimbal:displayVersion>1.5</nimbal:displayVersion>
//     <nimbal:minimumSystemVersion>2.31</nimbal:minimumSystemVersion>
//     <nimbal:releaseNotesLink>https://…</nimbal:releaseNotesLink>
//     <enclosure url="https://…/OrvelanNimbal-1.5.0-x86_64.AppImage" length="48211968"
//                type="application/vnd.appimage" nimbal:signature="base64 of 64 bytes"/>
//   </item>
struct AppcastItem {
    QString title;
    UpdateVersion version;
    QString displayVersion; // what the user is shown; the version's text when not given
    std::optional<UpdateVersion> minimumSystemVersion;
    QString releaseNotes; // as published; may be empty
    QUrl releaseNotesLink;
    std::optional<QDateTime> publishedAt;
    QUrl enclosureURL;
    qint64 enclosureLength = 0;
    QString enclosureType;
    // The Ed25519 signature of the enclosure's bytes in base64, as published; empty when the
    // feed gives none (such a release is never installed).
    QByteArray signature;
};

// The releases of a feed fetched from `feedURL`, in the feed's order. An item without a usable
// version, enclosure address or length is left out (and logged): one bad entry does not hide the
// others. Enclosure addresses may be relative to the feed; they must be https (plain http only
// on this machine's loopback). Throws UpdateError::feedUnreadable when the document is not
// well-formed XML or not an RSS channel.
QList<AppcastItem> parseAppcast(const QByteArray &xml, const QUrl &feedURL);

// What to offer: the newest release after `current` whose minimum system version `system`
// meets. A release without a minimum runs everywhere; an unknown system meets every minimum.
std::optional<AppcastItem> newestUpdate(const QList<AppcastItem> &items,
                                        const UpdateVersion &current,
                                        const std::optional<UpdateVersion> &system);

} // namespace OrvelanNimbal
