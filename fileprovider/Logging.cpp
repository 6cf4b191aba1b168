// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logging.h"

namespace OrvelanNimbal::FileProvider {

// Debug lines only on demand (QT_LOGGING_RULES), as the core's.
Q_LOGGING_CATEGORY(logExtension, "net.orvelan.nimbal.sync.fileprovider", QtInfoMsg)

QString redacted(const QString &account)
{
    const qsizetype at = account.indexOf(u'@');
    const QString user = at < 0 ? account : account.first(at);
    QString text = user.isEmpty() ? QString() : user.first(1) + QStringLiteral("…");
    if (at >= 0)
        text += u'@' + account.sliced(at + 1).first(std::min<qsizetype>(1, account.size() - at - 1))
                + QStringLiteral("…");
    return text;
}

} // namespace OrvelanNimbal::FileProvider
