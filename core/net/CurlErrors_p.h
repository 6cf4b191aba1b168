// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "errors/DriveError.h"

#include <QUrl>

#include <curl/curl.h>

namespace OrvelanNimbal {

// The failure of a transfer that ended without an answer, in the words the user reads after
// "Le Nimbal est injoignable. ": each cause a user or a support desk can act upon (no such
// server, a refused or broken connection, a certificate, a proxy, silence) has its own text.
DriveError transportErrorOf(CURLcode code, CURL *handle, const QUrl &url);

} // namespace OrvelanNimbal
