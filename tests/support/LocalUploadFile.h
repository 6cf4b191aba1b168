// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"

#include <QByteArray>
#include <QTemporaryDir>

namespace OrvelanNimbal::Testing {

// Bytes that differ from part to part and from one seed to another, so that a part sent twice,
// skipped or put in the wrong place changes the content's hash.
QByteArray generatedContent(qint64 size, quint32 seed = 1);

// A real file on disk for an upload, in a folder of its own that goes with this object.
class LocalUploadFile {
public:
    explicit LocalUploadFile(const QByteArray &content,
                             const QString &name = QStringLiteral("envoi.bin"));

    const QByteArray &content() const { return m_content; }
    // What the extension would hand to an upload: the file, its size and SHA-256 measured now.
    DriveAPI::LocalContent localContent() const;

    // The file changed on disk behind the upload's back; content() keeps what was announced.
    void truncate(qint64 size);
    void overwrite(qint64 offset, const QByteArray &bytes);

private:
    QTemporaryDir m_folder;
    QString m_path;
    QByteArray m_content;
};

} // namespace OrvelanNimbal::Testing
