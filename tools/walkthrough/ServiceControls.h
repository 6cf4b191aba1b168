// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoro/QCoroTask>
#include <QUrl>

// The local service's test controls, which the demo uses to show what the client does when
// the service changes its mind.
namespace ServiceControls {

// Voids every access token the service has handed out, as if each had reached its end.
// Throws std::runtime_error when the service has no test controls or refuses.
QCoro::Task<> expireAccessTokens(QUrl serviceRoot);

} // namespace ServiceControls
