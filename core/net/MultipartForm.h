// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace OrvelanNimbal {

// A multipart/form-data body built in memory, part by part. Names, file names, values and media
// types go in verbatim as UTF-8: nothing is escaped, so the caller picks a boundary that cannot
// occur in the content and calls finalize() once, after the last part.
class MultipartForm {
public:
    explicit MultipartForm(QString boundary);

    const QString &boundary() const { return m_boundary; }
    const QByteArray &body() const { return m_body; }
    QByteArray takeBody() { return std::move(m_body); }

    void addField(const QString &name, const QString &value);
    void addFile(const QString &name, const QString &filename, const QString &contentType,
                 QByteArrayView data);
    void finalize();

private:
    void appendDelimiter();

    QString m_boundary;
    QByteArray m_boundaryBytes;
    QByteArray m_body;
};

} // namespace OrvelanNimbal
