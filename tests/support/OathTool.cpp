// SPDX-License-Identifier: GPL-3.0-or-later
#include "OathTool.h"

#include <QDateTime>
#include <QProcess>

#include <stdexcept>

namespace OrvelanNimbal::Testing {

QString totpCodeAt(const QString &secretBase32, qint64 unixSeconds)
{
    QProcess oathtool;
    oathtool.start(QStringLiteral("oathtool"),
                   {QStringLiteral("--totp"), QStringLiteral("--base32"),
                    QStringLiteral("--now=@%1").arg(unixSeconds), QStringLiteral("-")});
    oathtool.write(secretBase32.toUtf8() + '\n');
    oathtool.closeWriteChannel();
    if (!oathtool.waitForFinished(5000) || oathtool.exitCode() != 0)
        throw std::runtime_error("oathtool failed (apt-get install oathtool): "
                                 + oathtool.readAllStandardError().toStdString());
    return QString::fromLatin1(oathtool.readAllStandardOutput()).trimmed();
}

QString totpCode(const QString &secretBase32, int offsetSteps)
{
    return totpCodeAt(secretBase32, QDateTime::currentSecsSinceEpoch() + offsetSteps * 30);
}

} // namespace OrvelanNimbal::Testing
