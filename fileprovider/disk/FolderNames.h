// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace OrvelanNimbal::FileProvider {

// A name read from the disk as text with every character kept (a leading U+FEFF too, which
// QString::fromUtf8 and Qt's own folder listings drop), or nothing when its bytes are not UTF-8.
std::optional<QString> decodedName(const char *bytes);

// The names in a folder (given absolute), byte-exact as decodedName reads them, "." and ".."
// left out; names that are not UTF-8 are counted in `undecodable`. Empty when the folder cannot
// be read.
QStringList namesIn(const QString &folder, int *undecodable = nullptr);

} // namespace OrvelanNimbal::FileProvider
