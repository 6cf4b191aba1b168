// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "upload/GeneratedFile.h"

#include <QtGlobal>

namespace OrvelanNimbal {
class ApiClient;
}

namespace Bench {

// One PUT of the whole file by curl (`curl -T`) to a part address of an upload opened for it,
// then abandoned: the easiest way the same bytes can reach the service's storage. Gives the
// nanoseconds, or -1 when curl failed.
qint64 uploadWithCurl(OrvelanNimbal::ApiClient &client, const GeneratedFile &file);

} // namespace Bench
