// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/MultipartForm.h"

namespace OrvelanNimbal {

namespace {
constexpr QByteArrayView crlf = "\r\n";
}

MultipartForm::MultipartForm(QString boundary)
    : m_boundary(std::move(boundary))
    , m_boundaryBytes(m_boundary.toUtf8())
{}

void MultipartForm::appendDelimiter()
{
    m_body += "--";
    m_body += m_boundaryBytes;
    m_body += crlf;
}

void MultipartForm::addField(const QString &name, const QString &value)
{
    appendDelimiter();
    m_body += "Content-Disposition: form-data; name=\"";
    m_body += name.toUtf8();
    m_body += '"';
    m_body += crlf;
    m_body += crlf;
    m_body += value.toUtf8();
    m_body += crlf;
}

void MultipartForm::addFile(const QString &name, const QString &filename,
                            const QString &contentType, QByteArrayView data)
{
    appendDelimiter();
    m_body += "Content-Disposition: form-data; name=\"";
    m_body += name.toUtf8();
    m_body += "\"; filename=\"";
    m_body += filename.toUtf8();
    m_body += '"';
    m_body += crlf;
    m_body += "Content-Type: ";
    m_body += contentType.toUtf8();
    m_body += crlf;
    m_body += crlf;
    m_body += data;
    m_body += crlf;
}

void MultipartForm::finalize()
{
    m_body += "--";
    m_body += m_boundaryBytes;
    m_body += "--";
    m_body += crlf;
}

} // namespace OrvelanNimbal
