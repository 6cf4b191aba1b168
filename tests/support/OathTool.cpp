// SPDX-License-Identifier: GPL-3.0-or-later
#include "OathTool.h"

#include <QDateTime>
#include <QProcess>

#include <stdexcept>

namespace OrvelanNimbal::Testing {

namespace {

constexpr qint64 stepSeconds = 30;
constexpr int timeoutMilliseconds = 5000;

} // namespace

QString totpCodeAt(const QString &secretBase32, qint64 unixSeconds) {
    QProcess oathtool;
    oathtool.start(QStringLiteral("oathtool"),
                   {QStringLiteral("--totp"), QStringLiteral("--base32"),
                    QStringLiteral("--now=@%1").arg(unixSeconds), QStringLiteral("-")});
    if (!oathtool.waitForStarted(timeoutMilliseconds))
        throw std::runtime_error("oathtool cannot be started (apt-get install oathtool)");
    oathtool.write(secretBase32.toUtf8() + '\n');
    oathtool.closeWriteChannel();
    if (!oathtool.waitForFinished(timeoutMilliseconds) || oathtool.exitCode() != 0)
        throw std::runtime_error("oathtool failed: "
                                 + oathtool.readAllStandardError().toStdString());
    return QString::fromLatin1(oathtool.readAllStandardOutput()).trimmed();
}

QString totpCode(const QString &secretBase32, int offsetSteps) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    return totpCodeAt(secretBase32, now + offsetSteps * stepSeconds);
}

} // namespace OrvelanNimbal::Testing
