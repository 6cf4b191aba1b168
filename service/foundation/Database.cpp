// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/Database.h"

#include "foundation/Utf8.h"

#include <sqlite3.h>
#include <string>

namespace OrvelanNimbal::Service {

namespace {

// How long a writer waits for another process's write (the add-account command) to finish.
constexpr int busyTimeoutMilliseconds = 5000;

[[noreturn]] void fail(sqlite3 *db, std::string_view what)
{
    throw DatabaseError(std::string(what) + " : " + sqlite3_errmsg(db));
}

} // namespace

Statement::Statement(sqlite3 *db, std::string_view sql)
    : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &m_statement, nullptr) != SQLITE_OK)
        fail(db, "préparation d'une requête");
}

Statement::Statement(Statement &&other) noexcept
    : m_db(other.m_db)
    , m_statement(std::exchange(other.m_statement, nullptr))
{}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::bind(int index, std::nullptr_t)
{
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK)
        fail(m_db, "paramètre");
}

void Statement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        fail(m_db, "paramètre");
}

void Statement::bind(int index, double value)
{
    if (sqlite3_bind_double(m_statement, index, value) != SQLITE_OK)
        fail(m_db, "paramètre");
}

void Statement::bind(int index, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    bind(index, std::string_view(utf8.constData(), size_t(utf8.size())));
}

void Statement::bind(int index, std::string_view value)
{
    if (sqlite3_bind_text64(m_statement, index, value.data(), value.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8)
        != SQLITE_OK)
        fail(m_db, "paramètre");
}

void Statement::bind(int index, const QByteArray &value)
{
    if (sqlite3_bind_blob64(m_statement, index, value.constData(), sqlite3_uint64(value.size()),
                            SQLITE_TRANSIENT)
        != SQLITE_OK)
        fail(m_db, "paramètre");
}

bool Statement::step()
{
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        return false;
    default:
        fail(m_db, "exécution d'une requête");
    }
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t Statement::int64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double Statement::number(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString Statement::text(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return decodeUtf8(std::string_view(bytes, size_t(sqlite3_column_bytes(m_statement, column))));
}

QByteArray Statement::blob(int column) const
{
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(m_statement, column));
    return QByteArray(bytes, sqlite3_column_bytes(m_statement, column));
}

void Connection::execScript(const char *sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(m_db, "exécution d'un script");
}

std::int64_t Connection::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Connection::changes() const
{
    return sqlite3_changes(m_db);
}

std::unique_ptr<Database> Database::open(const std::filesystem::path &file)
{
    sqlite3 *db = nullptr;
    // The connection is ours to serialise (see the class comment), so SQLite's own mutexes
    // would only add cost.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "mémoire insuffisante";
        sqlite3_close(db);
        throw DatabaseError("ouverture de " + file.string() + " : " + message);
    }
    std::unique_ptr<Database> database(new Database(db));
    sqlite3_busy_timeout(db, busyTimeoutMilliseconds);
    database->m_connection.execScript("PRAGMA journal_mode = WAL;"
                                      "PRAGMA synchronous = NORMAL;"
                                      "PRAGMA foreign_keys = ON;");
    return database;
}

Database::Database(sqlite3 *db)
    : m_db(db)
    , m_connection(db)
{}

Database::~Database()
{
    sqlite3_close(m_db);
}

} // namespace OrvelanNimbal::Service
