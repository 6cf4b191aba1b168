// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QString>

namespace OrvelanNimbal::FileProvider {

// Everything the extension logs, in French like the rest of the system's log.
Q_DECLARE_LOGGING_CATEGORY(logExtension)

// An account as the log may carry it: enough to tell two apart, not enough to read the address.
QString redacted(const QString &account);

} // namespace OrvelanNimbal::FileProvider
