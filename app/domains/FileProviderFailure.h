// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"

#include <QByteArray>

#include <exception>

namespace OrvelanNimbal {

// A refusal of the file-provider system, thrown by the domain controller's operations. Its
// description is the system's own French message, shown to the user as it is.
class FileProviderFailure : public std::exception {
public:
    explicit FileProviderFailure(FileProviderError error)
        : m_error(std::move(error))
        , m_what(m_error.message.toUtf8())
    {}

    const FileProviderError &error() const { return m_error; }
    QString errorDescription() const { return m_error.message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    FileProviderError m_error;
    QByteArray m_what;
};

} // namespace OrvelanNimbal
