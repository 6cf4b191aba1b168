// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

namespace OrvelanNimbal::FileProvider {

// A journal that cannot be opened, read or written; the message is French.
class JournalError : public std::runtime_error {
public:
    explicit JournalError(const QString &message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// The little of SQLite the journal needs: one connection, prepared statements, transactions.
// Every failure is a JournalError naming what was attempted.
class SqliteDatabase {
public:
    class Statement {
    public:
        Statement(sqlite3 *db, sqlite3_stmt *statement);
        Statement(Statement &&) noexcept;
        ~Statement();

        Statement &bind(int index, qint64 value);
        Statement &bind(int index, const QString &value); // always a text, empty included
        // Steps once: true while a row is there to read.
        bool step();
        void run(); // steps to the end, then resets for the next use
        qint64 int64(int column) const;
        QString text(int column) const;
        void reset();

    private:
        sqlite3 *m_db;
        sqlite3_stmt *m_statement;
    };

    // Opens or creates the database, in write-ahead mode: a commit is one append, and a reader
    // never waits for a writer.
    explicit SqliteDatabase(const QString &path);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    void exec(const char *sql);
    Statement prepare(const char *sql);
    // The file it was opened on; empty for a database in memory.
    QString fileName() const;

private:
    sqlite3 *m_db = nullptr;
};

[[noreturn]] void throwSqliteError(sqlite3 *db, const char *what);

} // namespace OrvelanNimbal::FileProvider
