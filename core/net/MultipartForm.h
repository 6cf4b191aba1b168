// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HttpBody.h"

#include <QByteArray>
#include <QString>

namespace OrvelanNimbal {

// A multipart/form-data body, built part by part. A file part may be bytes in memory or a
// region of a local file, which is then read only as the body is sent. Names, file names,
// values and media types go in verbatim as UTF-8: nothing is escaped, so the caller picks a
// boundary that cannot occur in the content and calls finalize() once, after the last part.
class MultipartForm {
public:
    explicit MultipartForm(QString boundary);

    const QString &boundary() const { return m_boundary; }
    // Whole once finalize() has been called.
    const HttpBody &body() const { return m_body; }
    HttpBody takeBody() { return std::move(m_body); }

    void addField(const QString &name, const QString &value);
    void addFile(const QString &name, const QString &filename, const QString &contentType,
                 QByteArrayView data);
    void addFile(const QString &name, const QString &filename, const QString &contentType,
                 FileRegion region);
    void finalize();

private:
    void appendDelimiter();
    void appendFileHead(const QString &name, const QString &filename, const QString &contentType);
    // The text written since the last file region goes into the body as one piece.
    void flushText();

    QString m_boundary;
    QByteArray m_boundaryBytes;
    QByteArray m_text;
    HttpBody m_body;
};

} // namespace OrvelanNimbal
