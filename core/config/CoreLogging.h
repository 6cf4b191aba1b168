// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QUrl>

namespace OrvelanNimbal {

// What the core says it does. "net.orvelan.nimbal.sync.client": requests and their answers,
// retries, silent sign-ins, transfers. "net.orvelan.nimbal.sync.events": the live stream.
// Nothing secret ever goes in: no password, token, code or cookie, no query of a pre-signed
// address (loggedURL), and an account only as redactedAccount() shows it.
Q_DECLARE_LOGGING_CATEGORY(lcClient)
Q_DECLARE_LOGGING_CATEGORY(lcEvents)

// "a…@e…", enough to tell two accounts apart in a log without naming either.
QString redactedAccount(const QString &account);

// An address without its query, its fragment or any credentials: a pre-signed address is a
// credential in its query.
QString loggedURL(const QUrl &url);

} // namespace OrvelanNimbal
