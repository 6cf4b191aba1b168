// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

namespace OrvelanNimbal {

// The version a content replace is based on. The service refuses the replace (409) when the
// file no longer has this version. Both absent: the replace is unconditional.
struct ReplacePrecondition {
    std::optional<QString> ifContentHash;
    std::optional<qint64> ifDateUpload; // seconds since 1970

    friend bool operator==(const ReplacePrecondition &, const ReplacePrecondition &) = default;
};

} // namespace OrvelanNimbal
