// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal::Testing {

// Authenticator codes made by Debian's oathtool, an implementation independent of the
// service's, so that a test of the service's codes is not the code checking itself. The
// secret goes to oathtool on its standard input, never on a command line. Throws
// std::runtime_error when oathtool is missing or fails.
QString totpCodeAt(const QString &secretBase32, qint64 unixSeconds);
// The code of the step `offsetSteps` steps of 30 s away from now.
QString totpCode(const QString &secretBase32, int offsetSteps = 0);

} // namespace OrvelanNimbal::Testing
