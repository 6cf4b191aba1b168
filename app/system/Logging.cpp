// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/Logging.h"

namespace OrvelanNimbal {

Q_LOGGING_CATEGORY(lcApp, "net.orvelan.nimbal.sync.app")
Q_LOGGING_CATEGORY(lcDomain, "net.orvelan.nimbal.sync.domain")

QString privateValue(const QString &)
{
    return QStringLiteral("<private>");
}

} // namespace OrvelanNimbal
