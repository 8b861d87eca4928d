#pragma once

// Private to platform/data: a thin RAII layer over one SQLite connection. sqlite3.h stays in the
// .cpp; failures throw SQLiteError with SQLite's own message and result code.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace platform::data_detail {

class SQLiteError : public std::runtime_error {
public:
    SQLiteError(int code, const std::string& message)
        : std::runtime_error(message)
        , code_(code) {}
    // The primary result code (SQLITE_NOTADB, SQLITE_CANTOPEN, ...).
    [[nodiscard]] int code() const { return code_; }
    [[nodiscard]] bool isNotADatabase() const;
    [[nodiscard]] bool isCannotOpen() const;

private:
    int code_;
};

// An SQL identifier in double quotes, inner quotes doubled: table and column names come from
// model descriptions and are never pasted in bare.
[[nodiscard]] std::string quotedIdentifier(const std::string& identifier);

class Statement;

class Database {
public:
    // Opens (creating if needed) the file for reading and writing; ":memory:" for a private
    // in-memory database.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(std::string_view sql);
    [[nodiscard]] Statement prepare(std::string_view sql);
    [[nodiscard]] bool isReadOnly() const;
    // Whether the last connection to close folds the write-ahead log into the file (SQLite's
    // default) or leaves the log for the next one.
    void setCheckpointOnClose(bool checkpoint);
    [[nodiscard]] std::int64_t lastInsertRowID() const;
    [[nodiscard]] int changes() const;

    [[noreturn]] void fail(int code) const;

private:
    friend class Statement;
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Binding positions start at 1, as in SQL.
    void bindNull(int index);
    void bind(int index, std::int64_t value);
    void bind(int index, double value);
    void bind(int index, std::string_view value);

    // Advances to the next row; false when done.
    [[nodiscard]] bool step();
    void reset();

    enum class ColumnType { integer, real, text, blob, null };
    [[nodiscard]] ColumnType columnType(int column) const;
    [[nodiscard]] std::int64_t columnInt64(int column) const;
    [[nodiscard]] double columnDouble(int column) const;
    [[nodiscard]] std::string columnText(int column) const;

private:
    friend class Database;
    Statement(const Database& db, sqlite3_stmt* statement)
        : db_(&db)
        , statement_(statement) {}
    const Database* db_;
    sqlite3_stmt* statement_;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back if the scope is left without commit().
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& db_;
    bool done_ = false;
};

} // namespace platform::data_detail
