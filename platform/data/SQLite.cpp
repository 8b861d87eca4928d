#include "platform/data/SQLite.hpp"

#include <climits>
#include <sqlite3.h>

namespace platform::data_detail {

bool SQLiteError::isNotADatabase() const {
    return (code_ & 0xff) == SQLITE_NOTADB;
}
bool SQLiteError::isCannotOpen() const {
    return (code_ & 0xff) == SQLITE_CANTOPEN;
}

Database::Database(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw SQLiteError(rc, message);
    }
    sqlite3_extended_result_codes(db_, 1);
    // Another connection (a second window's process, a backup tool) may hold the write lock for
    // a moment; wait for it instead of failing at once.
    sqlite3_busy_timeout(db_, 5000);
}

Database::~Database() {
    sqlite3_close(db_);
}

void Database::fail(int code) const {
    throw SQLiteError(code, db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code));
}

void Database::execute(std::string_view sql) {
    // Run as prepared statements so that a text with several statements runs them all.
    const char* tail = sql.data();
    const char* const end = sql.data() + sql.size();
    while (tail < end) {
        sqlite3_stmt* statement = nullptr;
        const int rc =
            sqlite3_prepare_v2(db_, tail, static_cast<int>(end - tail), &statement, &tail);
        if (rc != SQLITE_OK) {
            fail(rc);
        }
        if (statement == nullptr) {
            break; // only whitespace or comments were left
        }
        Statement owned(*this, statement);
        while (owned.step()) {
        }
    }
}

Statement Database::prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    const int rc =
        sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(statement);
        fail(rc);
    }
    return Statement(*this, statement);
}

bool Database::isReadOnly() const {
    return sqlite3_db_readonly(db_, "main") == 1;
}

void Database::setCheckpointOnClose(bool checkpoint) {
    const int rc =
        sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, checkpoint ? 0 : 1, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
    }
}

std::int64_t Database::lastInsertRowID() const {
    return sqlite3_last_insert_rowid(db_);
}

int Database::changes() const {
    return sqlite3_changes(db_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_)
    , statement_(other.statement_) {
    other.statement_ = nullptr;
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

void Statement::bindNull(int index) {
    const int rc = sqlite3_bind_null(statement_, index);
    if (rc != SQLITE_OK) {
        db_->fail(rc);
    }
}

void Statement::bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(statement_, index, value);
    if (rc != SQLITE_OK) {
        db_->fail(rc);
    }
}

void Statement::bind(int index, double value) {
    const int rc = sqlite3_bind_double(statement_, index, value);
    if (rc != SQLITE_OK) {
        db_->fail(rc);
    }
}

void Statement::bind(int index, std::string_view value) {
    if (value.size() > static_cast<std::size_t>(INT_MAX)) {
        throw SQLiteError(SQLITE_TOOBIG, "string or blob too big");
    }
    const int rc = sqlite3_bind_text(statement_, index, value.data(),
                                     static_cast<int>(value.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) {
        db_->fail(rc);
    }
}

bool Statement::step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    sqlite3_reset(statement_);
    db_->fail(rc);
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

Statement::ColumnType Statement::columnType(int column) const {
    switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_INTEGER:
        return ColumnType::integer;
    case SQLITE_FLOAT:
        return ColumnType::real;
    case SQLITE_TEXT:
        return ColumnType::text;
    case SQLITE_BLOB:
        return ColumnType::blob;
    default:
        return ColumnType::null;
    }
}

std::int64_t Statement::columnInt64(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double Statement::columnDouble(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::string Statement::columnText(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    const int length = sqlite3_column_bytes(statement_, column);
    if (text == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

Transaction::Transaction(Database& db)
    : db_(db) {
    db_.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!done_) {
        try {
            db_.execute("ROLLBACK");
        } catch (const SQLiteError&) {
            // SQLite may already have rolled back on its own after the failure we are unwinding
            // from; nothing is left to undo then.
        }
    }
}

void Transaction::commit() {
    db_.execute("COMMIT");
    done_ = true;
}

std::string quotedIdentifier(const std::string& identifier) {
    std::string result = "\"";
    for (const char c : identifier) {
        result += c;
        if (c == '"') {
            result += '"';
        }
    }
    result += '"';
    return result;
}

} // namespace platform::data_detail
