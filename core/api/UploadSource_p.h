// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HttpBody.h"

#include <QString>
#include <QUrl>

namespace OrvelanNimbal::Uploads {

// The local file of an upload, sent in the lengths the upload planned and never more. Its
// bytes are not read here: a body names a region of the file, and the transport reads it as
// the request goes out, a block at a time.
//
// The caller measured the size and hashed the content before the upload began, and announced
// both to the service. A file that has shrunk since cannot deliver what was announced: asking
// for a region beyond its end, or a read that ends early while sending, fails with "le fichier
// a changé pendant l'envoi", and the upload is abandoned, so no truncated file is ever
// assembled. A file that has grown is sent up to the announced size only: the service receives
// exactly the announced length, checks it against the announced hash and refuses a changed
// content rather than storing it under a stale hash.
class UploadSource {
public:
    // Checks that the file can be read; FileError when it cannot.
    explicit UploadSource(const QUrl &url);

    // `length` bytes from `offset`, as a body sends them. DriveError::transport "le fichier a
    // changé pendant l'envoi" when the file no longer reaches that far.
    FileRegion region(qint64 offset, qint64 length) const;
    // The same bytes read now, for a caller that hashes what it sends. Blocking: for the pool.
    // The same error when the file ends before them; FileError when it cannot be read.
    QByteArray read(qint64 offset, qint64 length) const;

private:
    QString m_path;
};

} // namespace OrvelanNimbal::Uploads
