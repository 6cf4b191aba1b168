// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace OrvelanNimbal {

// Whether `signature` is the Ed25519 signature of `message` under `publicKey`, a key in its DER
// form (SubjectPublicKeyInfo). A key of another kind, or one that does not read, verifies
// nothing.
bool isValidEd25519Signature(QByteArrayView publicKey, QByteArrayView message,
                             QByteArrayView signature);

// Vouches for a downloaded release before anything else is done with it: its length must be
// the announced one, then `signatureBase64` must be the release key's signature of its bytes.
// Throws UpdateError (incomplete, signatureInvalid); deletes nothing itself.
// Reads the whole file: call it off the main thread.
void verifyRelease(const QString &path, qint64 expectedLength, const QByteArray &signatureBase64,
                   const QByteArray &publicKey);

} // namespace OrvelanNimbal
