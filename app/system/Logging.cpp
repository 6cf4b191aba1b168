// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/Logging.h"

namespace OrvelanNimbal {

// Debug lines only on demand (QT_LOGGING_RULES), as the core's.
Q_LOGGING_CATEGORY(lcApp, "net.orvelan.nimbal.sync.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDomain, "net.orvelan.nimbal.sync.domain", QtInfoMsg)

QString privateValue(const QString &)
{
    return QStringLiteral("<private>");
}

} // namespace OrvelanNimbal
