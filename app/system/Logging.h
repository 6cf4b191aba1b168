// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QString>

namespace OrvelanNimbal {

// The application's log: "net.orvelan.nimbal.sync.app" for the model, ".domain" for the
// domain controller. Their texts are French, like the rest of what the application says.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcDomain)

// What a log line carries in place of a private value such as an account: the journal is read
// by more people than the user, and outlives the session.
QString privateValue(const QString &value);

} // namespace OrvelanNimbal
