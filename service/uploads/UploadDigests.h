// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/ContentDigest.h"

#include <QString>

#include <map>
#include <mutex>
#include <optional>

namespace OrvelanNimbal::Service {

// The SHA-256 of each upload's content, computed as its parts arrive, so that a completion
// need not read a gigabyte again. It goes on only while the parts come whole, in order, each
// once, as clients send them; otherwise (a part sent again after it was taken in, one out of
// order, a restart of the service: it is kept in memory only) the completion reads the content
// to hash it.
class UploadDigests {
public:
    // For part `number` about to be written: a copy of the digest of the parts before it, when
    // it is the next one. Nothing otherwise, and the upload's digest is given up for good.
    std::optional<ContentDigest> resume(const QString &uploadId, std::int64_t number);
    // Part `number` arrived whole, and `digest` (the copy resume() gave) covers it now.
    void advance(const QString &uploadId, std::int64_t number, ContentDigest digest);
    // The hash of the whole content, when parts 1 to `parts` were all taken in, in order; the
    // upload's digest is done with either way.
    std::optional<QString> finish(const QString &uploadId, std::int64_t parts);
    void forget(const QString &uploadId);

private:
    struct Running {
        std::int64_t next = 1; // the part whose bytes come next
        ContentDigest digest;
        bool givenUp = false;
    };

    std::mutex m_mutex;
    std::map<QString, Running> m_running;
};

} // namespace OrvelanNimbal::Service
