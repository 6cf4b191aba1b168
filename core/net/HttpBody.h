// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <variant>
#include <vector>

namespace OrvelanNimbal {

// A stretch of a local file that a body sends, read only as it goes out.
struct FileRegion {
    QString path;
    qint64 offset = 0;
    qint64 length = 0;
};

// Reads `length` bytes of `region` from `from` (relative to the region's start), on the calling
// thread. Throws FileError when the file cannot be opened or read, and DriveError::transport
// "le fichier a changé pendant l'envoi" when it ends before the region does: a body must never
// go out shorter than announced.
QByteArray readFileRegion(const FileRegion &region, qint64 from, qint64 length);

// What a request sends: bytes held in memory and stretches of local files, one after the other,
// so that an upload of a file never needs the file in memory. Copies are cheap: the bytes are
// shared, the files are only named.
class HttpBody {
public:
    using Piece = std::variant<QByteArray, FileRegion>;

    HttpBody() = default;
    HttpBody(QByteArray bytes) { append(std::move(bytes)); } // NOLINT: most bodies are bytes
    HttpBody(const char *bytes)                              // NOLINT: and often literals
        : HttpBody(QByteArray(bytes))
    {}

    void append(QByteArray bytes);
    void append(FileRegion region);

    qint64 size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    const std::vector<Piece> &pieces() const { return m_pieces; }

    // The whole body in memory, its files read now, failing as sending would. For test doubles
    // and for what is known to be small.
    QByteArray toByteArray() const;

private:
    std::vector<Piece> m_pieces;
    qint64 m_size = 0;
};

} // namespace OrvelanNimbal
