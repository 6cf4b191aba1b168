// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QFile>
#include <QUrl>

namespace OrvelanNimbal::Uploads {

// The local file of an upload, read in the lengths the upload planned and never more.
//
// The caller measured the size and hashed the content before the upload began, and announced
// both to the service. A file that has shrunk since cannot deliver what was announced: the read
// fails with "le fichier a changé pendant l'envoi" before a short part is sent, and the upload
// is abandoned, so no truncated file is ever assembled. A file that has grown is read up to the
// announced size only: the service receives exactly the announced length, checks it against the
// announced hash and refuses a changed content rather than storing it under a stale hash; and a
// file that keeps growing (a log being written) cannot make a part or a direct upload exceed the
// memory it was planned with.
class UploadSource {
public:
    // Opens the file for reading; FileError when it cannot be opened.
    explicit UploadSource(const QUrl &url);

    // The next `length` bytes, read on the thread pool. FileError when the read fails,
    // DriveError::transport "le fichier a changé pendant l'envoi" when the file ends first.
    // The source must outlive the returned task.
    QCoro::Task<QByteArray> read(qint64 length);

private:
    QFile m_file;
};

} // namespace OrvelanNimbal::Uploads
