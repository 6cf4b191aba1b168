// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "updates/Releases.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace OrvelanNimbal::Service {

// The update feed: an RSS 2.0 channel with one item per release, in the given order, each with
// its versions, notes, date and an enclosure at `origin` + "/updates/releases/" + its file
// name, carrying the release's length, type and signature.
QByteArray releaseFeed(const std::vector<Release> &releases, const QString &origin);

} // namespace OrvelanNimbal::Service
