// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/CoreLogging.h"

#include <QUrl>

namespace OrvelanNimbal {

// Debug lines are there for whoever asks for them (QT_LOGGING_RULES); info and above by default.
Q_LOGGING_CATEGORY(lcClient, "net.orvelan.nimbal.sync.client", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEvents, "net.orvelan.nimbal.sync.events", QtInfoMsg)

QString redactedAccount(const QString &account)
{
    const qsizetype at = account.indexOf(u'@');
    const QString local = at < 0 ? account : account.left(at);
    QString shown = local.left(1) + QStringLiteral("…");
    if (at >= 0)
        shown += u'@' + account.mid(at + 1, 1) + QStringLiteral("…");
    return shown;
}

QString loggedURL(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString();
}

} // namespace OrvelanNimbal
