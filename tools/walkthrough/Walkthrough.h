// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

struct WalkthroughAccount {
    QString email;
    QString password;
};

// Signs in (asking for the authenticator code on standard input and remembering the device),
// reads the quota, lists the folders and a few files at the top of the drive, has the service
// void the token, reads the quota again through the silent re-login, signs out and signs in
// again without a second factor. Tells each step in French,
// never a secret. The exit code: 0 when every step went as it should.
QCoro::Task<int> runWalkthrough(WalkthroughAccount account, QUrl serviceRoot);
