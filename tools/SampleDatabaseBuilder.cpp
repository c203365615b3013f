#include "SampleDatabaseBuilder.h"

#include "database/JetLike.h"

#include "database/PipeSchema.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <type_traits>

namespace korvalt {

namespace {

namespace fs = std::filesystem;

enum class Affinity { Text, Real, Integer };

struct Column {
    std::string name;
    Affinity affinity = Affinity::Text;
};

// Closes the connection however the build ends.
struct Connection {
    sqlite3* db = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { sqlite3_close(db); }
};

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(stmt); }
};

[[noreturn]] void failSql(sqlite3* db, const std::string& what) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        failSql(db, sql);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return JetLike::compareNoCase(a, b) == 0;
}

// The columns of the Pipe table as created, in table order, with the kind
// of value each declares; reading them back keeps the schema in one place.
std::vector<Column> pipeColumns(sqlite3* db) {
    Statement info;
    if (sqlite3_prepare_v2(db, "PRAGMA table_info(Pipe)", -1, &info.stmt, nullptr) != SQLITE_OK)
        failSql(db, "reading the Pipe columns");
    std::vector<Column> columns;
    while (sqlite3_step(info.stmt) == SQLITE_ROW) {
        Column column;
        column.name = reinterpret_cast<const char*>(sqlite3_column_text(info.stmt, 1));
        const std::string_view type =
            reinterpret_cast<const char*>(sqlite3_column_text(info.stmt, 2));
        if (equalsIgnoringCase(type, "REAL"))
            column.affinity = Affinity::Real;
        else if (equalsIgnoringCase(type, "INTEGER"))
            column.affinity = Affinity::Integer;
        columns.push_back(std::move(column));
    }
    return columns;
}

template <typename Number> std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(value))
            return std::nullopt;
    }
    return value;
}

std::string where(const PipeCsvReader::Row& row, const std::string& column) {
    return "line " + std::to_string(row.line) + ", column " + column;
}

void bindField(sqlite3* db, sqlite3_stmt* insert, int index, const Column& column,
               const PipeCsvReader::Field& field, const PipeCsvReader::Row& row) {
    int rc = SQLITE_OK;
    if (field.text.empty() && !field.quoted) {
        rc = sqlite3_bind_null(insert, index);
    } else if (column.affinity == Affinity::Real) {
        const auto value = parseNumber<double>(field.text);
        if (!value)
            throw std::runtime_error(where(row, column.name) + ": not a number: \"" + field.text +
                                     "\"");
        rc = sqlite3_bind_double(insert, index, *value);
    } else if (column.affinity == Affinity::Integer) {
        const auto value = parseNumber<std::int64_t>(field.text);
        if (!value)
            throw std::runtime_error(where(row, column.name) + ": not a whole number: \"" +
                                     field.text + "\"");
        rc = sqlite3_bind_int64(insert, index, *value);
    } else {
        rc = sqlite3_bind_text(insert, index, field.text.data(),
                               static_cast<int>(field.text.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        failSql(db, where(row, column.name));
}

std::size_t fill(sqlite3* db, const std::vector<PipeCsvReader::Row>& rows) {
    exec(db, pipe_schema::kCreatePipeTable);
    const std::vector<Column> columns = pipeColumns(db);

    // For each Pipe column, the CSV field that feeds it.
    const auto& header = rows.front();
    std::vector<std::size_t> source;
    for (const auto& column : columns) {
        std::optional<std::size_t> found;
        for (std::size_t i = 0; i < header.fields.size(); ++i) {
            if (!equalsIgnoringCase(header.fields[i].text, column.name))
                continue;
            if (found)
                throw std::runtime_error("header names column " + column.name + " twice");
            found = i;
        }
        if (!found)
            throw std::runtime_error("header lacks column " + column.name);
        source.push_back(*found);
    }

    std::string sql = "INSERT INTO Pipe (";
    std::string values;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        sql += (i ? ", " : "") + columns[i].name;
        values += i ? ", ?" : "?";
    }
    sql += ") VALUES (" + values + ")";

    exec(db, "BEGIN");
    Statement insert;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &insert.stmt, nullptr) != SQLITE_OK)
        failSql(db, sql);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto& row = rows[r];
        if (row.fields.size() != header.fields.size())
            throw std::runtime_error("line " + std::to_string(row.line) + ": " +
                                     std::to_string(row.fields.size()) + " fields, header has " +
                                     std::to_string(header.fields.size()));
        for (std::size_t c = 0; c < columns.size(); ++c)
            bindField(db, insert.stmt, static_cast<int>(c + 1), columns[c], row.fields[source[c]],
                      row);
        if (sqlite3_step(insert.stmt) != SQLITE_DONE)
            failSql(db, "line " + std::to_string(row.line));
        sqlite3_reset(insert.stmt);
        sqlite3_clear_bindings(insert.stmt);
    }
    exec(db, "COMMIT");
    return rows.size() - 1;
}

} // namespace

std::size_t SampleDatabaseBuilder::build(const std::vector<PipeCsvReader::Row>& rows,
                                         const std::string& dbPath) {
    if (rows.empty())
        throw std::runtime_error("no header row");

    const fs::path target(dbPath);
    fs::path temp = target;
    temp += ".building";
    fs::path journal = temp;
    journal += "-journal";
    // Leftovers of a build that was cut short.
    std::error_code ec;
    fs::remove(temp, ec);
    fs::remove(journal, ec);

    std::size_t count = 0;
    try {
        Connection connection;
        if (sqlite3_open_v2(temp.string().c_str(), &connection.db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            failSql(connection.db, "creating " + temp.string());
        count = fill(connection.db, rows);
        if (sqlite3_close(connection.db) != SQLITE_OK)
            failSql(connection.db, "closing " + temp.string());
        connection.db = nullptr;
        fs::rename(temp, target);
    } catch (...) {
        fs::remove(temp, ec);
        fs::remove(journal, ec);
        throw;
    }
    return count;
}

} // namespace korvalt
