// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ItemRecord.h"

#include <QString>

namespace OrvelanNimbal::FileProvider {

// Takes a removed domain's folder away without losing anything that exists only here. What the
// journal says was synchronised, and still is exactly as it was written, goes: the drive has it.
// Everything else (files made or changed since, folders the drive never had, anything the
// journal does not know) moves, with its place in the tree, into one folder beside the domain's,
// named to say it was not synchronised. Blocking; for a worker thread.
struct DomainRemoval {
    struct Outcome {
        int kept = 0;       // entries moved beside
        QString keptFolder; // where; empty when nothing needed keeping
        bool folderRemoved = false;
    };

    static Outcome remove(const QString &folder, const ItemTable &items);
};

} // namespace OrvelanNimbal::FileProvider
