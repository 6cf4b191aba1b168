// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors/FileError.h"

#include <QFileInfo>

namespace OrvelanNimbal {

FileError::FileError(QString path, QString reason)
    : m_path(std::move(path))
    , m_reason(std::move(reason))
    , m_what(errorDescription().toUtf8())
{}

QString FileError::errorDescription() const
{
    return QStringLiteral("Le fichier « %1 » est illisible : %2")
        .arg(QFileInfo(m_path).fileName(), m_reason);
}

const char *FileError::what() const noexcept
{
    return m_what.constData();
}

} // namespace OrvelanNimbal
