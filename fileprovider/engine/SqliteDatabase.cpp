// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/SqliteDatabase.h"

#include "json/Utf8Text.h"

#include <QFile>

#include <sqlite3.h>

namespace OrvelanNimbal::FileProvider {

void throwSqliteError(sqlite3 *db, const char *what)
{
    throw JournalError(QStringLiteral("Journal de synchronisation inutilisable (%1) : %2")
                           .arg(QString::fromUtf8(what),
                                QString::fromUtf8(db ? sqlite3_errmsg(db) : "mémoire épuisée")));
}

SqliteDatabase::Statement::Statement(sqlite3 *db, sqlite3_stmt *statement)
    : m_db(db)
    , m_statement(statement)
{}

SqliteDatabase::Statement::Statement(Statement &&other) noexcept
    : m_db(other.m_db)
    , m_statement(std::exchange(other.m_statement, nullptr))
{}

SqliteDatabase::Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

SqliteDatabase::Statement &SqliteDatabase::Statement::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        throwSqliteError(m_db, "liaison");
    return *this;
}

SqliteDatabase::Statement &SqliteDatabase::Statement::bind(int index, const QString &value)
{
    // Always a text, also when empty: a null pointer would bind NULL.
    const QByteArray bytes = value.toUtf8();
    if (sqlite3_bind_text(m_statement, index, bytes.isNull() ? "" : bytes.constData(),
                          int(bytes.size()), SQLITE_TRANSIENT)
        != SQLITE_OK)
        throwSqliteError(m_db, "liaison");
    return *this;
}

bool SqliteDatabase::Statement::step()
{
    const int status = sqlite3_step(m_statement);
    if (status == SQLITE_ROW)
        return true;
    if (status == SQLITE_DONE)
        return false;
    throwSqliteError(m_db, "lecture ou écriture");
}

void SqliteDatabase::Statement::run()
{
    while (step()) {
    }
    reset();
}

qint64 SqliteDatabase::Statement::int64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString SqliteDatabase::Statement::text(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    if (!bytes)
        return {};
    // Every character kept: a name may begin with U+FEFF, which fromUtf8 would drop.
    return utf8Text(QByteArrayView(bytes, sqlite3_column_bytes(m_statement, column)));
}

void SqliteDatabase::Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

SqliteDatabase::SqliteDatabase(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    if (sqlite3_open_v2(file.constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        const QString message = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "mémoire épuisée");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw JournalError(
            QStringLiteral("Journal de synchronisation impossible à ouvrir : %1").arg(message));
    }
    sqlite3_busy_timeout(m_db, 5000);
    // Write-ahead with NORMAL sync: a commit survives a crash of the process; a power cut may
    // lose the last commits, never the journal's coherence.
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close(m_db);
}

void SqliteDatabase::exec(const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : "?");
        sqlite3_free(error);
        throw JournalError(
            QStringLiteral("Journal de synchronisation inutilisable : %1").arg(message));
    }
}

QString SqliteDatabase::fileName() const
{
    const char *name = sqlite3_db_filename(m_db, "main");
    return name ? QString::fromUtf8(name) : QString();
}

SqliteDatabase::Statement SqliteDatabase::prepare(const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
        throwSqliteError(m_db, sql);
    return Statement(m_db, statement);
}

} // namespace OrvelanNimbal::FileProvider
