// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace OrvelanNimbal::Testing {

// An Ed25519 key pair made by the openssl command for one test, and signatures made with it by
// the same command: an implementation other than the one under test. Throws
// std::runtime_error when openssl is missing or fails.
class OpensslSigner {
public:
    // A new key pair, or the one whose private key is at `privateKeyFile`.
    OpensslSigner();
    explicit OpensslSigner(const QString &privateKeyFile);

    const QString &privateKeyFile() const { return m_privateKeyFile; }
    // The public key in its DER form, as the updater takes it.
    QByteArray publicKey() const;
    // The signature of `bytes`, in base64 as a feed carries it.
    QByteArray signature(const QByteArray &bytes) const;

private:
    QTemporaryDir m_folder;
    QString m_privateKeyFile;
};

// What `openssl` with `arguments` prints, given `input`.
QByteArray runOpenssl(const QStringList &arguments, const QByteArray &input = {});

} // namespace OrvelanNimbal::Testing
