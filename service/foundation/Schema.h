// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace OrvelanNimbal::Service {

class Database;

// The tables of one part of the service (accounts, drive, uploads…) as a list of migration
// scripts: script n brings the module from version n-1 to version n. A released script is
// never edited; a change is a new script at the end. Each module keeps its own version, so
// parts written side by side never compete for a version number.
struct SchemaModule {
    std::string name;
    std::vector<const char *> migrations;
};

// Brings every module to its latest version, in the order given (tables may reference another
// module's tables whatever the order: SQLite checks foreign keys only when rows change); the
// pending scripts of a module run in one transaction, so a module is never left half-migrated.
// Throws DatabaseError when a script fails, and when the file was written by a newer service
// (a module at a version this program does not know).
void migrate(Database &database, const std::vector<SchemaModule> &modules);

// The version a module has reached in this database, 0 when it has none of its tables yet.
int schemaVersion(Database &database, const std::string &module);

} // namespace OrvelanNimbal::Service
