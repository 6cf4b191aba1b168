// SPDX-License-Identifier: GPL-3.0-or-later
#include "models/StorageClass.h"

namespace OrvelanNimbal {

QString rawValue(StorageClass storageClass)
{
    switch (storageClass) {
    case StorageClass::standard:
        return QStringLiteral("standard");
    case StorageClass::glacier:
        return QStringLiteral("glacier");
    case StorageClass::archiving:
        return QStringLiteral("archiving");
    case StorageClass::unarchiving:
        return QStringLiteral("unarchiving");
    case StorageClass::restoring:
        return QStringLiteral("restoring");
    }
    Q_UNREACHABLE();
}

std::optional<StorageClass> storageClassFromRawValue(QStringView text)
{
    for (StorageClass candidate :
         {StorageClass::standard, StorageClass::glacier, StorageClass::archiving,
          StorageClass::unarchiving, StorageClass::restoring}) {
        if (text == rawValue(candidate))
            return candidate;
    }
    return std::nullopt;
}

StorageClass storageClassFromServerValue(const std::optional<QString> &text)
{
    if (!text)
        return StorageClass::standard;
    // Spaces and tabs around the word are noise; a line break is not, and spoils the match.
    QStringView word(*text);
    while (!word.isEmpty() && (word.front() == u' ' || word.front() == u'\t'))
        word = word.sliced(1);
    while (!word.isEmpty() && (word.back() == u' ' || word.back() == u'\t'))
        word.chop(1);
    // The service nearly always sends the word as it should be: no need to lower-case a copy.
    if (const auto exact = storageClassFromRawValue(word))
        return *exact;
    return storageClassFromRawValue(word.toString().toLower()).value_or(StorageClass::standard);
}

} // namespace OrvelanNimbal
