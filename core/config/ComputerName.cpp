// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComputerName.h"

#include <QFile>
#include <QSysInfo>

namespace OrvelanNimbal {

namespace {

// A value as the shell reads it: quotes removed, backslash escapes resolved ("\" in single
// quotes is a plain character).
QString unquoted(QStringView value)
{
    QString text;
    QChar quote;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (quote.isNull() && (c == u'"' || c == u'\'')) {
            quote = c;
        } else if (!quote.isNull() && c == quote) {
            quote = QChar();
        } else if (c == u'\\' && quote != u'\'' && i + 1 < value.size()) {
            text += value[++i];
        } else if (quote.isNull() && c == u'#' && (i == 0 || value[i - 1].isSpace())) {
            break; // a comment after the value
        } else {
            text += c;
        }
    }
    return text.trimmed();
}

} // namespace

std::optional<QString> prettyHostName(const QByteArray &machineInfo)
{
    static const QString key = QStringLiteral("PRETTY_HOSTNAME=");
    const QString text = QString::fromUtf8(machineInfo);
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (!trimmed.startsWith(key))
            continue;
        const QString name = unquoted(trimmed.mid(key.size()));
        return name.isEmpty() ? std::nullopt : std::optional(name);
    }
    return std::nullopt;
}

std::optional<QString> computerName(const QString &machineInfoPath)
{
    QFile machineInfo(machineInfoPath);
    if (machineInfo.open(QIODevice::ReadOnly)) {
        if (auto pretty = prettyHostName(machineInfo.readAll()))
            return pretty;
    }
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? std::nullopt : std::optional(host);
}

} // namespace OrvelanNimbal
