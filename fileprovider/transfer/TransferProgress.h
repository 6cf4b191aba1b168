// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>

namespace OrvelanNimbal::FileProvider {

// The transfers of one kind over a domain, in bytes: what the current batch holds and how much
// of it has moved. Finished when nothing is moving. Lives on the engine's thread; `onChange` is
// called after every change, and the caller decides how often to pass it on.
class TransferProgress {
public:
    struct Snapshot {
        bool finished = true;
        qint64 total = 0;
        qint64 completed = 0;

        double fraction() const { return total > 0 ? double(completed) / double(total) : 0.0; }
        friend bool operator==(const Snapshot &, const Snapshot &) = default;
    };

    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }
    const Snapshot &snapshot() const { return m_snapshot; }

    // A new batch of `total` bytes starts, or more bytes join the one under way.
    void add(qint64 bytes);
    void advance(qint64 bytes);
    // A transfer that will not happen after all leaves the batch.
    void drop(qint64 bytesLeft);
    void finish();

private:
    void changed()
    {
        if (m_onChange)
            m_onChange();
    }

    Snapshot m_snapshot;
    std::function<void()> m_onChange;
};

} // namespace OrvelanNimbal::FileProvider
