// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <string_view>

namespace OrvelanNimbal::Service {

// Text from bytes with every character kept: a leading U+FEFF is the first character of a name,
// not a byte-order mark to drop (as QString::fromUtf8 does). Invalid sequences become U+FFFD.
QString decodeUtf8(std::string_view bytes);

// The same, or nothing when the bytes are not valid UTF-8: for text a client names things
// with, which must come back byte for byte.
std::optional<QString> decodeUtf8Strictly(std::string_view bytes);

} // namespace OrvelanNimbal::Service
