// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/BodyReader_p.h"

#include <QtConcurrent/QtConcurrentRun>

#include <cstring>

namespace OrvelanNimbal {

BodyReader::BodyReader(HttpBody body, std::function<void()> onReady)
    : m_body(std::move(body))
    , m_onReady(std::move(onReady))
{
    enterPiece();
}

// An abandoned read runs to its end on the pool; its block is then dropped with the watcher.
BodyReader::~BodyReader() = default;

void BodyReader::rewind()
{
    m_piece = 0;
    m_offset = 0;
    m_failure = nullptr;
    enterPiece();
}

void BodyReader::enterPiece()
{
    m_block.clear();
    m_blockSent = 0;
    m_ahead.reset();
    m_fetchFrom = 0;
    m_fetching.reset();
    fetchAhead();
}

void BodyReader::fetchAhead()
{
    if (m_fetching || m_ahead || m_failure || m_piece >= m_body.pieces().size())
        return;
    const auto *region = std::get_if<FileRegion>(&m_body.pieces()[m_piece]);
    if (!region || m_fetchFrom >= region->length)
        return;
    const qint64 length = std::min(blockBytes, region->length - m_fetchFrom);
    m_fetching = std::make_unique<QFutureWatcher<Block>>();
    QObject::connect(m_fetching.get(), &QFutureWatcherBase::finished, m_fetching.get(),
                     [this] { fetched(); });
    m_fetching->setFuture(QtConcurrent::run([region = *region, from = m_fetchFrom, length] {
        Block block;
        try {
            block.bytes = readFileRegion(region, from, length);
        } catch (...) {
            block.failure = std::current_exception();
        }
        return block;
    }));
    m_fetchFrom += length;
}

void BodyReader::fetched()
{
    Block block = m_fetching->result();
    // Dropped later: this runs inside the watcher's own signal.
    m_fetching.release()->deleteLater();
    if (block.failure)
        m_failure = block.failure;
    else
        m_ahead = std::move(block.bytes);
    if (m_waiting || m_failure) {
        m_waiting = false;
        m_onReady();
    }
}

std::optional<std::size_t> BodyReader::read(char *into, std::size_t most)
{
    std::size_t copied = 0;
    while (copied < most && m_piece < m_body.pieces().size()) {
        if (m_failure)
            return std::nullopt;
        const HttpBody::Piece &piece = m_body.pieces()[m_piece];
        if (const auto *bytes = std::get_if<QByteArray>(&piece)) {
            const std::size_t length =
                std::min<std::size_t>(most - copied, bytes->size() - m_offset);
            std::memcpy(into + copied, bytes->constData() + m_offset, length);
            copied += length;
            m_offset += qint64(length);
        } else {
            if (m_blockSent == m_block.size()) {
                if (!m_ahead) {
                    fetchAhead();
                    if (copied > 0)
                        return copied;
                    m_waiting = true;
                    return std::nullopt;
                }
                m_block = std::move(*m_ahead);
                m_ahead.reset();
                m_blockSent = 0;
                fetchAhead(); // the next block is read while this one goes out
            }
            const std::size_t length =
                std::min<std::size_t>(most - copied, m_block.size() - m_blockSent);
            std::memcpy(into + copied, m_block.constData() + m_blockSent, length);
            copied += length;
            m_blockSent += qsizetype(length);
            m_offset += qint64(length);
        }
        const qint64 pieceLength = std::holds_alternative<QByteArray>(piece)
                                       ? std::get<QByteArray>(piece).size()
                                       : std::get<FileRegion>(piece).length;
        if (m_offset == pieceLength) {
            ++m_piece;
            m_offset = 0;
            enterPiece();
        }
    }
    return copied;
}

} // namespace OrvelanNimbal
