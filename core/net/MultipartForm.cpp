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
    m_text += "--";
    m_text += m_boundaryBytes;
    m_text += crlf;
}

void MultipartForm::flushText()
{
    m_body.append(std::exchange(m_text, {}));
}

void MultipartForm::addField(const QString &name, const QString &value)
{
    appendDelimiter();
    m_text += "Content-Disposition: form-data; name=\"";
    m_text += name.toUtf8();
    m_text += '"';
    m_text += crlf;
    m_text += crlf;
    m_text += value.toUtf8();
    m_text += crlf;
}

void MultipartForm::appendFileHead(const QString &name, const QString &filename,
                                   const QString &contentType)
{
    appendDelimiter();
    m_text += "Content-Disposition: form-data; name=\"";
    m_text += name.toUtf8();
    m_text += "\"; filename=\"";
    m_text += filename.toUtf8();
    m_text += '"';
    m_text += crlf;
    m_text += "Content-Type: ";
    m_text += contentType.toUtf8();
    m_text += crlf;
    m_text += crlf;
}

void MultipartForm::addFile(const QString &name, const QString &filename,
                            const QString &contentType, QByteArrayView data)
{
    appendFileHead(name, filename, contentType);
    m_text += data;
    m_text += crlf;
}

void MultipartForm::addFile(const QString &name, const QString &filename,
                            const QString &contentType, FileRegion region)
{
    appendFileHead(name, filename, contentType);
    flushText();
    m_body.append(std::move(region));
    m_text += crlf;
}

void MultipartForm::finalize()
{
    m_text += "--";
    m_text += m_boundaryBytes;
    m_text += "--";
    m_text += crlf;
    flushText();
}

} // namespace OrvelanNimbal
