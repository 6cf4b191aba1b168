// SPDX-License-Identifier: GPL-3.0-or-later
#include "OpensslSigner.h"

#include <QFile>
#include <QProcess>

#include <stdexcept>

namespace OrvelanNimbal::Testing {

QByteArray runOpenssl(const QStringList &arguments, const QByteArray &input)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    openssl.write(input);
    openssl.closeWriteChannel();
    if (!openssl.waitForFinished(10000) || openssl.exitStatus() != QProcess::NormalExit
        || openssl.exitCode() != 0)
        throw std::runtime_error("openssl " + arguments.join(u' ').toStdString()
                                 + " failed: " + openssl.readAllStandardError().toStdString());
    return openssl.readAllStandardOutput();
}

OpensslSigner::OpensslSigner()
    : m_privateKeyFile(m_folder.filePath(QStringLiteral("release-key.pem")))
{
    runOpenssl({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("ed25519"),
                QStringLiteral("-out"), m_privateKeyFile});
}

OpensslSigner::OpensslSigner(const QString &privateKeyFile)
    : m_privateKeyFile(privateKeyFile)
{}

QByteArray OpensslSigner::publicKey() const
{
    return runOpenssl({QStringLiteral("pkey"), QStringLiteral("-in"), m_privateKeyFile,
                       QStringLiteral("-pubout"), QStringLiteral("-outform"),
                       QStringLiteral("DER")});
}

QByteArray OpensslSigner::signature(const QByteArray &bytes) const
{
    // pkeyutl reads the message from a file: Ed25519 signs it whole, not a digest of it.
    const QString message = m_folder.filePath(QStringLiteral("message"));
    QFile file(message);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write the message to sign");
    file.close();
    return runOpenssl({QStringLiteral("pkeyutl"), QStringLiteral("-sign"), QStringLiteral("-inkey"),
                       m_privateKeyFile, QStringLiteral("-rawin"), QStringLiteral("-in"), message})
        .toBase64();
}

} // namespace OrvelanNimbal::Testing
