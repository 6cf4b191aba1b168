// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>

namespace OrvelanNimbal::FileProvider {

// Which part of the domain's folder a pass looks at: all of it, or the folders the watcher saw
// change (their entries, not what their subfolders hold).
struct PassScope {
    bool whole = true;
    QSet<QString> folders; // relative to the domain's folder; "" for the folder itself

    static PassScope everything() { return {}; }
    static PassScope changedIn(QSet<QString> folders) { return {false, std::move(folders)}; }

    bool isEmpty() const { return !whole && folders.isEmpty(); }
    void merge(const PassScope &other)
    {
        whole = whole || other.whole;
        if (whole)
            folders.clear();
        else
            folders.unite(other.folders);
    }
};

} // namespace OrvelanNimbal::FileProvider
