// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace OrvelanNimbal::Service {

// nimbal-service publish-release: signs a release file (or a made-up one) with a private
// Ed25519 key and adds it to the update feed. Given the arguments after its name; returns the
// exit code.
int runPublishRelease(const QStringList &arguments);

} // namespace OrvelanNimbal::Service
