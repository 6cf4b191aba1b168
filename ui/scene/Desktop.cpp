// SPDX-License-Identifier: GPL-3.0-or-later
#include "Desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>

namespace OrvelanNimbal::Panel {

QUrl Desktop::securityPage()
{
    static const QUrl page =
        QUrl(QStringLiteral(NIMBAL_ACCOUNT_SITE_URL)).resolved(QUrl(QStringLiteral("/security")));
    return page;
}

void Desktop::openLoginItemsSettings()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace OrvelanNimbal::Panel
