// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/Presigning.h"

#include <QString>

#include <string>

namespace OrvelanNimbal::Service {

// Where the storage takes a part of an upload, outside the API; reached only pre-signed.
inline std::string partPath(const QString &uploadId, int number)
{
    return storagePrefix + "/uploads/" + uploadId.toStdString() + "/" + std::to_string(number);
}

} // namespace OrvelanNimbal::Service
