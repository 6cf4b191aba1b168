// SPDX-License-Identifier: GPL-3.0-or-later
#include "Desktop.h"

namespace OrvelanNimbal::Panel {

QUrl Desktop::securityPage()
{
    static const QUrl page =
        QUrl(QStringLiteral(NIMBAL_ACCOUNT_SITE_URL)).resolved(QUrl(QStringLiteral("/security")));
    return page;
}

} // namespace OrvelanNimbal::Panel
