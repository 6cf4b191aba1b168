// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/GrantWindow.h"

namespace OrvelanNimbal::FileProvider {

GrantWindow::GrantWindow(DriveAPI drive, std::vector<std::optional<DriveFile>> files,
                         qsizetype window, CancellationToken cancel)
    : m_drive(std::move(drive))
    , m_window(std::max<qsizetype>(window, 1))
    , m_cancel(std::move(cancel))
{
    m_slots.reserve(files.size());
    for (std::optional<DriveFile> &file : files) {
        if (!file) {
            m_slots.emplace_back();
            continue;
        }
        auto slot = std::make_shared<Slot>();
        slot->file = std::move(*file);
        m_slots.push_back(std::move(slot));
    }
}

QCoro::Task<DriveDownload> GrantWindow::grant(qsizetype index)
{
    askUpTo(index + m_window);
    const std::shared_ptr<Slot> slot = m_slots.at(size_t(index));
    if (!slot)
        throw std::logic_error("no grant was wanted for this download");
    if (!slot->done)
        co_await slot->ready.wait();
    if (slot->failure)
        std::rethrow_exception(slot->failure);
    co_return *slot->grant;
}

void GrantWindow::askUpTo(qsizetype end)
{
    end = std::min(end, qsizetype(m_slots.size()));
    for (; m_asked < end; ++m_asked) {
        if (const std::shared_ptr<Slot> &slot = m_slots[size_t(m_asked)])
            ask(m_drive, slot, m_cancel);
    }
}

QCoro::Task<> GrantWindow::ask(DriveAPI drive, std::shared_ptr<Slot> slot,
                               CancellationToken cancel)
{
    try {
        DriveFile file = slot->file; // named: GCC 12 frees temporaries of a co_await too early
        slot->grant = co_await drive.contentURL(std::move(file), std::move(cancel));
    } catch (...) {
        slot->failure = std::current_exception();
    }
    slot->done = true;
    slot->ready.fire();
}

} // namespace OrvelanNimbal::FileProvider
