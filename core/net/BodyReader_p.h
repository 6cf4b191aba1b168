// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HttpBody.h"

#include <QFutureWatcher>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace OrvelanNimbal {

// Hands a request body to the transfer that sends it, as the transfer asks. Bytes in memory are
// copied as they are; a file is read a block ahead on the thread pool, so that the event loop
// never waits on the disk and no more than two blocks of the file are held at a time.
//
// Used from one thread; `onReady` is called on it, from its event loop, when bytes that were
// not ready at a read() are, or when reading the file failed.
class BodyReader {
public:
    static constexpr qint64 blockBytes = 1024 * 1024;

    BodyReader(HttpBody body, std::function<void()> onReady);
    BodyReader(const BodyReader &) = delete;
    BodyReader &operator=(const BodyReader &) = delete;
    ~BodyReader();

    // Copies up to `most` bytes of the body into `into` and gives how many: 0 at the end, at
    // least one before it. Nothing while the next bytes are still being read, or when the body
    // cannot be read (failure() then says why).
    std::optional<std::size_t> read(char *into, std::size_t most);
    // Back to the first byte, for a request that goes again on a new connection.
    void rewind();
    // Why the body cannot be read: FileError, or DriveError::transport when a file ended early.
    std::exception_ptr failure() const { return m_failure; }

private:
    struct Block {
        QByteArray bytes;
        std::exception_ptr failure;
    };

    void enterPiece();
    void fetchAhead();
    void fetched();

    HttpBody m_body;
    std::function<void()> m_onReady;
    std::size_t m_piece = 0; // the piece being sent
    qint64 m_offset = 0;     // bytes of it sent
    // Of a file piece: the block being sent and how far, the block read after it, and where the
    // next read starts (from the region's start).
    QByteArray m_block;
    qsizetype m_blockSent = 0;
    std::optional<QByteArray> m_ahead;
    qint64 m_fetchFrom = 0;
    std::unique_ptr<QFutureWatcher<Block>> m_fetching;
    bool m_waiting = false; // a read() found nothing ready
    std::exception_ptr m_failure;
};

} // namespace OrvelanNimbal
