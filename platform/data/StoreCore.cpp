#include "platform/data/StoreCore.hpp"

#include "platform/data/StoreError.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <unordered_set>
#include <variant>

namespace platform::data_detail {

namespace {

constexpr const char* metadataTable = "_StoreMetadata";
constexpr const char* keyColumn = "_pk";

const char* sqlType(AttributeType type) {
    switch (type) {
    case AttributeType::string:
    case AttributeType::uuid:
        return "TEXT";
    case AttributeType::integer:
    case AttributeType::date:
        return "INTEGER";
    case AttributeType::real:
        return "REAL";
    }
    return "BLOB";
}

// Dates are kept as nanoseconds since 1970 so that they read back exactly and sort as numbers.
std::int64_t nanosecondsSince1970(const Date& date) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(date.timePoint().time_since_epoch())
        .count();
}

Date dateFromNanoseconds(std::int64_t nanoseconds) {
    return Date(Date::TimePoint(
        std::chrono::duration_cast<Date::Clock::duration>(std::chrono::nanoseconds(nanoseconds))));
}

void bindValue(Statement& statement, int index, const StoreValue& value) {
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                statement.bindNull(index);
            } else if constexpr (std::is_same_v<V, std::string>) {
                statement.bind(index, std::string_view(v));
            } else if constexpr (std::is_same_v<V, std::int64_t>) {
                statement.bind(index, v);
            } else if constexpr (std::is_same_v<V, double>) {
                statement.bind(index, v);
            } else if constexpr (std::is_same_v<V, UUID>) {
                statement.bind(index, std::string_view(v.uuidString()));
            } else if constexpr (std::is_same_v<V, Date>) {
                statement.bind(index, nanosecondsSince1970(v));
            }
        },
        value);
}

// Binds the values of a request's predicate, in order, from position 1.
void bindValues(Statement& statement, const std::vector<StoreValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        bindValue(statement, static_cast<int>(i + 1), values[i]);
    }
}

// Reads one attribute; nullopt when the stored value does not fit it (a damaged record).
std::optional<StoreValue> readValue(const Statement& statement, int column,
                                    const Attribute& attribute) {
    using ColumnType = Statement::ColumnType;
    const auto type = statement.columnType(column);
    if (type == ColumnType::null) {
        return attribute.isOptional ? std::optional<StoreValue>(StoreValue()) : std::nullopt;
    }
    switch (attribute.type) {
    case AttributeType::string: {
        if (type != ColumnType::text) {
            return std::nullopt;
        }
        // Text that is not UTF-8 would show as replacement glyphs and be copied as such.
        auto text = statement.columnText(column);
        if (!unicode::isValidUtf8(text)) {
            return std::nullopt;
        }
        return StoreValue(std::move(text));
    }
    case AttributeType::integer:
        if (type != ColumnType::integer) {
            return std::nullopt;
        }
        return StoreValue(statement.columnInt64(column));
    case AttributeType::real:
        if (type != ColumnType::real && type != ColumnType::integer) {
            return std::nullopt;
        }
        return StoreValue(statement.columnDouble(column));
    case AttributeType::uuid: {
        if (type != ColumnType::text) {
            return std::nullopt;
        }
        const auto uuid = UUID::fromString(statement.columnText(column));
        if (!uuid) {
            return std::nullopt;
        }
        return StoreValue(*uuid);
    }
    case AttributeType::date:
        if (type != ColumnType::integer) {
            return std::nullopt;
        }
        return StoreValue(dateFromNanoseconds(statement.columnInt64(column)));
    }
    return std::nullopt;
}

// What a damaged value reads as.
StoreValue standIn(const Attribute& attribute) {
    if (attribute.isOptional) {
        return {};
    }
    switch (attribute.type) {
    case AttributeType::string:
        return std::string();
    case AttributeType::integer:
        return std::int64_t{0};
    case AttributeType::real:
        return 0.0;
    case AttributeType::uuid:
        return UUID(UUID::Bytes{});
    case AttributeType::date:
        return dateFromNanoseconds(0);
    }
    return {};
}

// "SELECT _pk, <every attribute> FROM <entity>": the columns readStoredRow reads.
std::string selectColumns(const EntityDescription& entity) {
    std::string sql = "SELECT " + quotedIdentifier(keyColumn);
    for (const auto& attribute : entity.attributes()) {
        sql += ", " + quotedIdentifier(attribute.name);
    }
    return sql + " FROM " + quotedIdentifier(entity.name());
}

// The record at the statement's current row; a value that does not fit its attribute is marked
// damaged and replaced by a stand-in.
StoredRow readStoredRow(const Statement& statement, const EntityDescription& entity) {
    const auto& attributes = entity.attributes();
    StoredRow row;
    row.rowID = statement.columnInt64(0);
    row.values.reserve(attributes.size());
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        auto value = readValue(statement, static_cast<int>(i + 1), attributes[i]);
        if (!value) {
            row.damaged.push_back(i);
            value = standIn(attributes[i]);
        }
        row.values.push_back(std::move(*value));
    }
    return row;
}

} // namespace

StoreCore::StoreCore(Schema schema, const std::filesystem::path& path, bool inMemory)
    : schema_(std::move(schema))
    , path_(inMemory ? std::filesystem::path() : path) {
    open(inMemory);
}

std::string StoreCore::describePath() const {
    return path_.empty() ? std::string("the in-memory store") : "“" + path_.string() + "”";
}

void StoreCore::open(bool inMemory) {
    if (!inMemory) {
        const auto folder = path_.parent_path();
        std::error_code error;
        if (!folder.empty()) {
            std::filesystem::create_directories(folder, error);
            if (error) {
                throw StoreError(StoreError::Code::cannotOpen,
                                 "Could not create the folder “" + folder.string() +
                                     "” for the store: " + error.message());
            }
        }
    }
    try {
        db_ = std::make_unique<Database>(inMemory ? std::string(":memory:") : path_.string());
    } catch (const SQLiteError& error) {
        throw StoreError(StoreError::Code::cannotOpen,
                         "Could not open the store " + describePath() + ": " + error.what());
    }
    if (db_->isReadOnly()) {
        throw StoreError(StoreError::Code::cannotOpen,
                         "The store " + describePath() + " cannot be written");
    }
    try {
        // Nothing is written to the file until it is known to be a store of ours or a new one:
        // a refused file is left byte for byte as it was. Even closing could write to it, by
        // moving another program's write-ahead log into it.
        db_->setCheckpointOnClose(false);
        // The first statement reads the file header: a file that is not a database fails here.
        prepareSchema();
        // Write-ahead logging makes every committed transaction survive a crash of this process
        // without an fsync per write (synchronous=NORMAL); only a power cut can lose the last few.
        if (!inMemory) {
            db_->execute("PRAGMA journal_mode=WAL");
        }
        db_->execute("PRAGMA synchronous=NORMAL");
        db_->setCheckpointOnClose(true);
    } catch (const SQLiteError& error) {
        if (error.isNotADatabase()) {
            throw StoreError(StoreError::Code::notAStore,
                             "The file " + describePath() + " is not a store: " + error.what());
        }
        throw StoreError(StoreError::Code::cannotOpen,
                         "Could not open the store " + describePath() + ": " + error.what());
    }
}

void StoreCore::prepareSchema() {
    Transaction transaction(*db_);
    bool hasMetadata = false;
    bool hasOtherTables = false;
    {
        auto tables = db_->prepare(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
            "ESCAPE '\\'");
        while (tables.step()) {
            if (tables.columnText(0) == metadataTable) {
                hasMetadata = true;
            } else {
                hasOtherTables = true;
            }
        }
    }
    const std::string expected = schema_.version().text();
    if (!hasMetadata) {
        if (hasOtherTables) {
            throw StoreError(StoreError::Code::notAStore,
                             "The file " + describePath() + " is a database of another program");
        }
        db_->execute(std::string("CREATE TABLE ") + quotedIdentifier(metadataTable) +
                     " (key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL)");
        auto insert = db_->prepare(std::string("INSERT INTO ") + quotedIdentifier(metadataTable) +
                                   " (key, value) VALUES ('schemaVersion', ?)");
        insert.bind(1, std::string_view(expected));
        (void)insert.step();
        for (const auto* entity : schema_.entities()) {
            std::string sql = "CREATE TABLE " + quotedIdentifier(entity->name()) + " (" +
                              quotedIdentifier(keyColumn) + " INTEGER PRIMARY KEY AUTOINCREMENT";
            for (const auto& attribute : entity->attributes()) {
                sql += ", " + quotedIdentifier(attribute.name) + " " + sqlType(attribute.type);
                if (!attribute.isOptional) {
                    sql += " NOT NULL";
                }
                if (attribute.isUnique) {
                    sql += " UNIQUE";
                }
            }
            sql += ")";
            db_->execute(sql);
        }
        transaction.commit();
        return;
    }

    std::optional<std::string> storedText;
    {
        auto version =
            db_->prepare(std::string("SELECT value FROM ") + quotedIdentifier(metadataTable) +
                         " WHERE key = 'schemaVersion'");
        if (version.step()) {
            storedText = version.columnText(0);
        }
    }
    const auto stored = storedText ? Schema::Version::fromText(*storedText) : std::nullopt;
    if (!stored) {
        throw StoreError(StoreError::Code::incompatible,
                         "The store " + describePath() + " records no readable schema version");
    }
    if (*stored > schema_.version()) {
        throw StoreError(StoreError::Code::newerVersion,
                         "The store " + describePath() +
                             " was written by a newer version of the program (schema " +
                             stored->text() + "; this version reads " + expected + ")");
    }
    if (*stored < schema_.version()) {
        throw StoreError(StoreError::Code::incompatible,
                         "The store " + describePath() + " has schema " + stored->text() +
                             ", which cannot be upgraded to " + expected);
    }
    for (const auto* entity : schema_.entities()) {
        std::vector<std::string> columns;
        auto info = db_->prepare("SELECT name FROM pragma_table_info(?)");
        info.bind(1, std::string_view(entity->name()));
        while (info.step()) {
            columns.push_back(info.columnText(0));
        }
        for (const auto& attribute : entity->attributes()) {
            if (std::find(columns.begin(), columns.end(), attribute.name) == columns.end()) {
                throw StoreError(StoreError::Code::incompatible,
                                 "The store " + describePath() + " has no column " +
                                     entity->name() + "." + attribute.name);
            }
        }
    }
    transaction.commit();
}

void StoreCore::checkEntity(const EntityDescription& entity) const {
    if (schema_.entityNamed(entity.name()) != &entity) {
        throw StoreError(StoreError::Code::invalidQuery,
                         "The store's schema has no model " + entity.name());
    }
}

std::int64_t StoreCore::insertRow(const EntityDescription& entity,
                                  const std::vector<StoreValue>& values) {
    checkEntity(entity);
    const auto& attributes = entity.attributes();
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        if (!attributes[i].accepts(values.at(i))) {
            throw std::invalid_argument(entity.name() + "." + attributes[i].name +
                                        (std::holds_alternative<std::monostate>(values[i])
                                             ? " has no value"
                                             : " holds a value of another type"));
        }
    }
    std::string sql = "INSERT INTO " + quotedIdentifier(entity.name()) + " (";
    std::string placeholders;
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        sql += (i > 0 ? ", " : "") + quotedIdentifier(attributes[i].name);
        placeholders += i > 0 ? ", ?" : "?";
    }
    sql += ") VALUES (" + placeholders + ")";
    const std::lock_guard lock(mutex_);
    try {
        Transaction transaction(*db_);
        auto statement = db_->prepare(sql);
        for (std::size_t i = 0; i < values.size(); ++i) {
            bindValue(statement, static_cast<int>(i + 1), values[i]);
        }
        (void)statement.step();
        const auto rowID = db_->lastInsertRowID();
        transaction.commit();
        return rowID;
    } catch (const SQLiteError& error) {
        throw StoreError(StoreError::Code::writeFailed,
                         "Could not save the new " + entity.name() + ": " + error.what());
    }
}

void StoreCore::deleteRow(const EntityDescription& entity, std::int64_t rowID) {
    checkEntity(entity);
    const std::lock_guard lock(mutex_);
    try {
        Transaction transaction(*db_);
        auto statement = db_->prepare("DELETE FROM " + quotedIdentifier(entity.name()) + " WHERE " +
                                      quotedIdentifier(keyColumn) + " = ?");
        statement.bind(1, rowID);
        (void)statement.step();
        transaction.commit();
    } catch (const SQLiteError& error) {
        throw StoreError(StoreError::Code::writeFailed,
                         "Could not delete the " + entity.name() + ": " + error.what());
    }
}

void StoreCore::updateValue(const EntityDescription& entity, std::int64_t rowID, std::size_t index,
                            const StoreValue& value) {
    checkEntity(entity);
    const auto& attribute = entity.attributes().at(index);
    if (!attribute.accepts(value)) {
        throw std::invalid_argument(entity.name() + "." + attribute.name +
                                    " cannot hold that value");
    }
    const std::lock_guard lock(mutex_);
    try {
        Transaction transaction(*db_);
        auto statement = db_->prepare("UPDATE " + quotedIdentifier(entity.name()) + " SET " +
                                      quotedIdentifier(attribute.name) + " = ? WHERE " +
                                      quotedIdentifier(keyColumn) + " = ?");
        bindValue(statement, 1, value);
        statement.bind(2, rowID);
        (void)statement.step();
        transaction.commit();
    } catch (const SQLiteError& error) {
        throw StoreError(StoreError::Code::writeFailed, "Could not save the change of " +
                                                            entity.name() + "." + attribute.name +
                                                            ": " + error.what());
    }
}

std::string StoreCore::whereAndOrder(const FetchRequest& request,
                                     std::vector<StoreValue>& bindings) const {
    const auto& entity = *request.entity;
    std::string sql;
    if (request.predicate) {
        sql += " WHERE " + request.predicate->sql(entity, bindings);
    }
    sql += " ORDER BY ";
    for (const auto& sort : request.sortBy) {
        if (!entity.indexOf(sort.attribute)) {
            throw StoreError(StoreError::Code::invalidQuery,
                             entity.name() + " has no attribute " + sort.attribute + " to sort by");
        }
        sql += quotedIdentifier(sort.attribute) +
               (sort.order == SortOrder::forward ? " ASC, " : " DESC, ");
    }
    // Ties keep the order of storing, in the direction of the first sort: newest-first lists show
    // the later of two equal keys first.
    const bool reverse =
        !request.sortBy.empty() && request.sortBy.front().order == SortOrder::reverse;
    sql += quotedIdentifier(keyColumn) + (reverse ? " DESC" : " ASC");
    return sql;
}

std::vector<StoredRow> StoreCore::select(const FetchRequest& request) {
    const auto& entity = *request.entity;
    checkEntity(entity);
    std::vector<StoreValue> bindings;
    const std::string sql = selectColumns(entity) + whereAndOrder(request, bindings);

    std::vector<StoredRow> rows;
    const std::lock_guard lock(mutex_);
    try {
        auto statement = db_->prepare(sql);
        bindValues(statement, bindings);
        while (statement.step()) {
            auto row = readStoredRow(statement, entity);
            if (!row.damaged.empty()) {
                throw StoreError(StoreError::Code::damagedRecord,
                                 "A stored " + entity.name() + " has a damaged " +
                                     entity.attributes()[row.damaged.front()].name);
            }
            rows.push_back(std::move(row));
        }
    } catch (const SQLiteError& error) {
        throw StoreError(StoreError::Code::readFailed,
                         "Could not read the " + entity.name() + " records: " + error.what());
    }
    return rows;
}

std::optional<std::string> ReadableRows::problem(const std::string& entityName) const {
    std::string text;
    if (damaged > 0) {
        std::string names;
        for (const auto& name : damagedAttributes) {
            names += (names.empty() ? "" : ", ") + name;
        }
        text = std::to_string(damaged) + " stored " + entityName +
               (damaged == 1 ? " record" : " records") +
               " could not be read in full (damaged: " + names + ").";
    }
    if (readError && (!unreadableCounted || unreadable > 0)) {
        text += std::string(text.empty() ? "" : " ") +
                (unreadableCounted ? std::to_string(unreadable) : std::string("Some")) +
                " stored " + entityName + (unreadable == 1 ? " record" : " records") +
                " could not be read at all: " + *readError;
    }
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

// A sorted read fails as a whole when one page of the table is malformed. Walking the table in
// its own order from each end reaches every record before the first damaged page and after the
// last. What lies between is reached record by record through an index of the table, which names
// every record on pages of its own: a record whose page is damaged fails alone, and is counted.
namespace {

template <class ReadRows, class ReadRow>
void readAroundDamage(Database& db, const EntityDescription& entity, const std::string& columns,
                      const std::string& filter, const std::vector<StoreValue>& bindings,
                      const ReadRows& readRows, const ReadRow& readRow, ReadableRows& result) {
    const std::string where = filter.empty() ? std::string() : " WHERE " + filter;
    const std::string byKey = " ORDER BY " + quotedIdentifier(keyColumn);
    try {
        readRows(columns + where + byKey + " ASC", [](std::int64_t) { return false; });
        return; // every record read in the table's own order
    } catch (const SQLiteError&) {
    }
    const std::int64_t lastRead =
        result.rows.empty() ? std::numeric_limits<std::int64_t>::min() : result.rows.back().rowID;
    try {
        readRows(columns + where + byKey + " DESC",
                 [lastRead](std::int64_t rowID) { return rowID <= lastRead; });
    } catch (const SQLiteError&) {
    }

    result.unreadableCounted = false;
    std::unordered_set<std::int64_t> read;
    for (const auto& row : result.rows) {
        read.insert(row.rowID);
    }
    try {
        std::vector<std::string> indexes;
        {
            auto list =
                db.prepare("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ?");
            list.bind(1, std::string_view(entity.name()));
            while (list.step()) {
                indexes.push_back(list.columnText(0));
            }
        }
        auto lookup = db.prepare(columns + " WHERE " + (filter.empty() ? "" : filter + " AND ") +
                                 quotedIdentifier(keyColumn) + " = ?");
        for (const auto& index : indexes) {
            std::vector<std::int64_t> named;
            try {
                auto scan = db.prepare("SELECT " + quotedIdentifier(keyColumn) + " FROM " +
                                       quotedIdentifier(entity.name()) + " INDEXED BY " +
                                       quotedIdentifier(index));
                while (scan.step()) {
                    named.push_back(scan.columnInt64(0));
                }
            } catch (const SQLiteError&) {
                continue; // this index is damaged too
            }
            for (const std::int64_t rowID : named) {
                if (read.contains(rowID)) {
                    continue;
                }
                lookup.reset();
                bindValues(lookup, bindings);
                lookup.bind(static_cast<int>(bindings.size() + 1), rowID);
                try {
                    if (lookup.step()) {
                        readRow(lookup);
                    }
                } catch (const SQLiteError&) {
                    ++result.unreadable;
                }
            }
            result.unreadableCounted = true;
            return;
        }
    } catch (const SQLiteError&) {
        // Not even the list of indexes reads: what read from both ends is all there is.
    }
}

} // namespace

ReadableRows StoreCore::selectReadable(const FetchRequest& request) {
    const auto& entity = *request.entity;
    checkEntity(entity);
    std::vector<StoreValue> bindings;
    const std::string columns = selectColumns(entity);
    const std::string sorted = columns + whereAndOrder(request, bindings);
    std::string filter;
    if (request.predicate) {
        std::vector<StoreValue> unused;
        filter = "(" + request.predicate->sql(entity, unused) + ")";
    }

    const auto& attributes = entity.attributes();
    std::vector<bool> damagedAttribute(attributes.size(), false);
    ReadableRows result;
    // A record with a value that does not fit its attribute is kept, marked, so that it can
    // still be seen and deleted.
    const auto readRow = [&](const Statement& statement) {
        auto row = readStoredRow(statement, entity);
        for (const std::size_t index : row.damaged) {
            damagedAttribute[index] = true;
        }
        result.damaged += row.damaged.empty() ? 0 : 1;
        result.rows.push_back(std::move(row));
    };
    // Reads the rows a statement yields until it ends or fails; `stop` ends it early.
    const auto readRows = [&](const std::string& sql, const auto& stop) {
        auto statement = db_->prepare(sql);
        bindValues(statement, bindings);
        while (statement.step()) {
            if (stop(statement.columnInt64(0))) {
                return;
            }
            readRow(statement);
        }
    };
    const auto never = [](std::int64_t) { return false; };

    const std::lock_guard lock(mutex_);
    try {
        readRows(sorted, never);
    } catch (const SQLiteError& error) {
        result = ReadableRows{};
        std::fill(damagedAttribute.begin(), damagedAttribute.end(), false);
        result.readError = error.what();
        readAroundDamage(*db_, entity, columns, filter, bindings, readRows, readRow, result);
        std::vector<std::pair<std::size_t, SortOrder>> order;
        for (const auto& sort : request.sortBy) {
            order.emplace_back(*entity.indexOf(sort.attribute), sort.order);
        }
        const bool reverse = !order.empty() && order.front().second == SortOrder::reverse;
        std::sort(result.rows.begin(), result.rows.end(),
                  [&](const StoredRow& a, const StoredRow& b) {
                      for (const auto& [index, direction] : order) {
                          const StoreValue& x = a.values[index];
                          const StoreValue& y = b.values[index];
                          if (x < y || y < x) {
                              return (direction == SortOrder::forward) == (x < y);
                          }
                      }
                      return reverse ? a.rowID > b.rowID : a.rowID < b.rowID;
                  });
    }
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        if (damagedAttribute[i]) {
            result.damagedAttributes.push_back(attributes[i].name);
        }
    }
    // A record whose sort key could not be read has no place in the order: it comes last.
    std::vector<std::size_t> keys;
    for (const auto& sort : request.sortBy) {
        keys.push_back(*entity.indexOf(sort.attribute));
    }
    std::stable_partition(result.rows.begin(), result.rows.end(), [&](const StoredRow& row) {
        return std::none_of(row.damaged.begin(), row.damaged.end(), [&](std::size_t index) {
            return std::find(keys.begin(), keys.end(), index) != keys.end();
        });
    });
    return result;
}

std::size_t StoreCore::count(const FetchRequest& request) {
    const auto& entity = *request.entity;
    checkEntity(entity);
    std::vector<StoreValue> bindings;
    std::string sql = "SELECT count(*) FROM " + quotedIdentifier(entity.name());
    if (request.predicate) {
        sql += " WHERE " + request.predicate->sql(entity, bindings);
    }
    const std::lock_guard lock(mutex_);
    try {
        auto statement = db_->prepare(sql);
        bindValues(statement, bindings);
        return statement.step() ? static_cast<std::size_t>(statement.columnInt64(0)) : 0;
    } catch (const SQLiteError& error) {
        throw StoreError(StoreError::Code::readFailed,
                         "Could not count the " + entity.name() + " records: " + error.what());
    }
}

void StoreCore::registerQuery(const std::shared_ptr<LiveQueryState>& query) {
    const std::lock_guard lock(queriesMutex_);
    std::erase_if(queries_, [](const auto& weak) { return weak.expired(); });
    queries_.push_back(query);
}

void StoreCore::didChange(const std::string& entityName) {
    std::vector<std::shared_ptr<LiveQueryState>> affected;
    {
        const std::lock_guard lock(queriesMutex_);
        for (const auto& weak : queries_) {
            if (auto query = weak.lock(); query && query->entityName() == entityName) {
                affected.push_back(std::move(query));
            }
        }
    }
    for (const auto& query : affected) {
        query->storeDidChange();
    }
}

} // namespace platform::data_detail
