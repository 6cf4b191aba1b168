// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace OrvelanNimbal::Service {

// A failure of SQLite; the text is SQLite's own message and never carries a bound value.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One prepared statement. Parameters are bound by position from 1; columns are read from 0.
class Statement {
public:
    Statement(sqlite3 *db, std::string_view sql);
    Statement(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    Statement &operator=(Statement &&) = delete;
    ~Statement();

    void bind(int index, std::nullptr_t);
    void bind(int index, std::int64_t value);
    void bind(int index, double value);
    void bind(int index, const QString &value);
    void bind(int index, std::string_view value);
    void bind(int index, const char *value) { bind(index, std::string_view(value)); }
    void bind(int index, const QByteArray &value); // as a blob
    template <class T>
    requires std::is_integral_v<T>
    void bind(int index, T value) { bind(index, static_cast<std::int64_t>(value)); }
    template <class T>
    void bind(int index, const std::optional<T> &value)
    {
        if (value)
            bind(index, *value);
        else
            bind(index, nullptr);
    }
    template <class... Args>
    void bindAll(const Args &...args)
    {
        int index = 0;
        (bind(++index, args), ...);
    }

    // Moves to the next row; false when there is none left.
    bool step();

    bool isNull(int column) const;
    std::int64_t int64(int column) const;
    double number(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
};

// Every row left in `rows`, each made a record by `read(rows)`.
template <class Read>
auto readAll(Statement &rows, Read read) -> std::vector<std::invoke_result_t<Read, Statement &>>
{
    std::vector<std::invoke_result_t<Read, Statement &>> records;
    while (rows.step())
        records.push_back(read(rows));
    return records;
}

// The connection, lent to a caller of Database::transaction() or Database::read().
class Connection {
public:
    explicit Connection(sqlite3 *db)
        : m_db(db)
    {}

    template <class... Args>
    Statement query(std::string_view sql, const Args &...args)
    {
        Statement statement(m_db, sql);
        statement.bindAll(args...);
        return statement;
    }

    // Runs one statement to its end; the number of rows it changed.
    template <class... Args>
    int exec(std::string_view sql, const Args &...args)
    {
        Statement statement = query(sql, args...);
        while (statement.step()) {
        }
        return changes();
    }

    // Several statements separated by semicolons, without parameters (schema scripts).
    void execScript(const char *sql);

    std::int64_t lastInsertId() const;
    int changes() const;

private:
    sqlite3 *m_db;
};

// The service's SQLite database: one file in the data directory, write-ahead logged so that a
// command-line tool may add an account while the server runs. One connection serves every
// thread of the server, one caller at a time; a caller must not reach the database again from
// inside its own callback.
class Database {
public:
    static std::unique_ptr<Database> open(const std::filesystem::path &file);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Runs `work` inside one transaction: committed when it returns, rolled back when it throws.
    template <class Work>
    auto transaction(Work &&work) -> decltype(work(std::declval<Connection &>()))
    {
        std::lock_guard lock(m_mutex);
        m_connection.execScript("BEGIN IMMEDIATE");
        try {
            if constexpr (std::is_void_v<decltype(work(m_connection))>) {
                work(m_connection);
                m_connection.execScript("COMMIT");
            } else {
                auto result = work(m_connection);
                m_connection.execScript("COMMIT");
                return result;
            }
        } catch (...) {
            m_connection.execScript("ROLLBACK");
            throw;
        }
    }

    // Exclusive use of the connection without a transaction, for single reads.
    template <class Work>
    auto read(Work &&work) -> decltype(work(std::declval<Connection &>()))
    {
        std::lock_guard lock(m_mutex);
        return work(m_connection);
    }

private:
    explicit Database(sqlite3 *db);

    std::mutex m_mutex;
    sqlite3 *m_db;
    Connection m_connection;
};

} // namespace OrvelanNimbal::Service
