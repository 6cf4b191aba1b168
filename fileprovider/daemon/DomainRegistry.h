// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/FileProviderDomain.h"

#include <QList>
#include <QString>

namespace OrvelanNimbal::FileProvider {

// A registered domain as it was registered and as the bus carries it.
using DomainRecord = FileProviderDomain;

// What the extension keeps across restarts, in the shared container (`fileprovider.json`): the
// user's switch of the whole extension and the domains the application registered. The daemon
// writes it; `nimbal-fileprovider status` reads it without the daemon.
//
//   {"version":1,"enabled":true,"domains":[{"identifier","displayName","userEnabled"}]}
class DomainRegistry {
public:
    explicit DomainRegistry(QString file);
    // The file in the shared container; empty when there is no container.
    static QString defaultFile();

    // A missing file is the first start: enabled, no domain. A damaged one reads the same, and
    // is left for the next save to replace.
    void load();
    // Replaces the file atomically, readable by the user only. False (and logged) on failure.
    bool save() const;

    const QString &file() const { return m_file; }
    bool extensionEnabled = true;
    QList<DomainRecord> domains;

    DomainRecord *find(const QString &identifier);

private:
    QString m_file;
};

} // namespace OrvelanNimbal::FileProvider
