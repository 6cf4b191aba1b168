// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "models/DriveModels.h"

#include <QByteArray>

#include <vector>

namespace Bench {

// The listing read the way a Qt program usually reads JSON: a QJsonDocument, then each object
// turned into a record and converted with the library's own rules. The yardstick to beat.
std::vector<OrvelanNimbal::DriveFile> filesWithQtJson(const QByteArray &json);

} // namespace Bench
