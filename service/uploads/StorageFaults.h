// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <mutex>
#include <optional>

namespace OrvelanNimbal::Service {

// What a test makes the storage do to the next part PUTs, whatever their address (which a
// test cannot know beforehand, since it holds the upload's id and a signature).
class StorageFaults {
public:
    enum class Kind {
        fail,     // answer `status` without storing the part
        drop,     // answer as if stored (ETag and all), but keep nothing
        omitETag, // store the part, answer without an ETag
    };
    struct Fault {
        Kind kind = Kind::fail;
        int status = 503;
    };

    void add(Fault fault, int count);
    std::optional<Fault> take();
    void clear();

private:
    std::mutex m_mutex;
    std::deque<Fault> m_queue;
};

} // namespace OrvelanNimbal::Service
