// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "client/ApiClient.h"

#include <QCoro/QCoroTask>

#include <memory>

namespace OrvelanNimbal::CommandLine {

// The client of the drive service as the panel builds it: the same addresses, the same
// session and trusted-device items in the Secret Service.
std::shared_ptr<ApiClient> makeClient();

// The account of the session stored on this computer, now held by `client`. Throws a
// CommandFailure: not signed in, or the keychain unreachable.
QCoro::Task<QString> signedInAccount(std::shared_ptr<ApiClient> client);

} // namespace OrvelanNimbal::CommandLine
