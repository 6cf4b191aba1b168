// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/TransferProgress.h"

namespace OrvelanNimbal::FileProvider {

void TransferProgress::add(qint64 bytes)
{
    if (m_snapshot.finished)
        m_snapshot = {false, 0, 0};
    m_snapshot.total += bytes;
    changed();
}

void TransferProgress::advance(qint64 bytes)
{
    m_snapshot.completed = std::min(m_snapshot.total, m_snapshot.completed + bytes);
    changed();
}

void TransferProgress::drop(qint64 bytesLeft)
{
    m_snapshot.total = std::max(m_snapshot.completed, m_snapshot.total - bytesLeft);
    changed();
}

void TransferProgress::finish()
{
    if (m_snapshot.finished)
        return;
    m_snapshot.finished = true;
    m_snapshot.completed = m_snapshot.total;
    changed();
}

} // namespace OrvelanNimbal::FileProvider
