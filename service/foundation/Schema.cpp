// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/Schema.h"

#include "foundation/Database.h"

namespace OrvelanNimbal::Service {

namespace {

void ensureVersionTable(Connection &connection)
{
    connection.execScript("CREATE TABLE IF NOT EXISTS schema_versions ("
                          " module TEXT PRIMARY KEY,"
                          " version INTEGER NOT NULL)");
}

int versionIn(Connection &connection, const std::string &module)
{
    Statement row =
        connection.query("SELECT version FROM schema_versions WHERE module = ?", module.c_str());
    return row.step() ? int(row.int64(0)) : 0;
}

} // namespace

void migrate(Database &database, const std::vector<SchemaModule> &modules)
{
    database.transaction([](Connection &connection) { ensureVersionTable(connection); });
    for (const SchemaModule &module : modules) {
        const int known = int(module.migrations.size());
        database.transaction([&](Connection &connection) {
            const int current = versionIn(connection, module.name);
            if (current > known)
                throw DatabaseError("le schéma « " + module.name + " » est en version "
                                    + std::to_string(current) + ", ce programme ne connaît que "
                                    + std::to_string(known));
            for (int version = current + 1; version <= known; ++version)
                connection.execScript(module.migrations[size_t(version - 1)]);
            if (known > current)
                connection.exec("INSERT INTO schema_versions (module, version) VALUES (?, ?)"
                                " ON CONFLICT (module) DO UPDATE SET version = excluded.version",
                                module.name.c_str(), known);
        });
    }
}

int schemaVersion(Database &database, const std::string &module)
{
    return database.read([&](Connection &connection) {
        ensureVersionTable(connection);
        return versionIn(connection, module);
    });
}

} // namespace OrvelanNimbal::Service
