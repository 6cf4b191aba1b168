// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <filesystem>

namespace OrvelanNimbal::Service {

// The Ed25519 signature (64 bytes) of `message` under the private key in the PEM file at
// `keyFile`, as `openssl genpkey -algorithm ed25519` writes it. Throws std::runtime_error (in
// French) when the file does not hold such a key.
QByteArray signEd25519(const std::filesystem::path &keyFile, QByteArrayView message);

} // namespace OrvelanNimbal::Service
