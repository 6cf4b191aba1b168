// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

namespace OrvelanNimbal {

// The storage tier of a file. Only standard files can be fetched and synchronised.
enum class StorageClass { standard, glacier, archiving, unarchiving, restoring };

QString rawValue(StorageClass storageClass);
// Exact, case-sensitive match of a raw value.
std::optional<StorageClass> storageClassFromRawValue(QStringView text);
// The service's free text, read leniently: spaces and tabs trimmed, lower-cased; an absent or
// unknown word is standard.
StorageClass storageClassFromServerValue(const std::optional<QString> &text);
inline bool isSynchronizable(StorageClass storageClass)
{
    return storageClass == StorageClass::standard;
}

} // namespace OrvelanNimbal
