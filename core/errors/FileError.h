// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace OrvelanNimbal {

// A local file that cannot be opened or read, passed on as the file system reported it.
class FileError : public std::exception {
public:
    FileError(QString path, QString reason);

    const QString &path() const { return m_path; }
    const QString &reason() const { return m_reason; }
    QString errorDescription() const;
    const char *what() const noexcept override;

private:
    QString m_path;
    QString m_reason;
    QByteArray m_what;
};

} // namespace OrvelanNimbal
