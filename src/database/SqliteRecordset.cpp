#include "database/SqliteRecordset.h"

#include "database/EngineError.h"
#include "database/JetLike.h"

#include <sqlite3.h>

namespace korvalt {

namespace {

using engine_errors::kItemNotFound;
using engine_errors::kNoCurrentRecord;
using engine_errors::kObjectClosed;

Value columnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return Value::null();
    case SQLITE_INTEGER:
        return Value::integer(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return Value::real(sqlite3_column_double(statement, column));
    default: {
        // Text, and blobs shown as their bytes.
        const auto* bytes = sqlite3_column_text(statement, column);
        const int size = sqlite3_column_bytes(statement, column);
        if (bytes == nullptr || size <= 0) {
            return Value::text({});
        }
        return Value::text(
            std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size)));
    }
    }
}

} // namespace

SqliteRecordset::SqliteRecordset(std::shared_ptr<SqliteConnection> connection,
                                 SqliteConnection::Statement statement, std::string sql)
    : m_connection(std::move(connection)), m_statement(std::move(statement)),
      m_sql(std::move(sql)) {
    const int columns = sqlite3_column_count(m_statement.get());
    m_foldedNames.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(m_statement.get(), c);
        m_foldedNames.push_back(JetLike::fold(name != nullptr ? name : ""));
    }
    m_values.resize(m_foldedNames.size());
    advance();
}

SqliteRecordset::~SqliteRecordset() = default;

void SqliteRecordset::advance() {
    if (!m_connection->step(m_statement.get(), m_sql)) {
        m_eof = true;
        return;
    }
    m_eof = false;
    ++m_rowsRead;
    for (std::size_t c = 0; c < m_values.size(); ++c) {
        m_values[c] = columnValue(m_statement.get(), static_cast<int>(c));
    }
}

bool SqliteRecordset::isEof() const {
    return m_eof;
}

void SqliteRecordset::moveNext() {
    if (!m_statement) {
        throw EngineError(kObjectClosed, "Object invalid or no longer set.");
    }
    if (m_eof) {
        throw EngineError(kNoCurrentRecord, "No current record.");
    }
    advance();
}

const Value& SqliteRecordset::fields(std::string_view name) const {
    const std::string folded = JetLike::fold(name);
    for (std::size_t c = 0; c < m_foldedNames.size(); ++c) {
        if (m_foldedNames[c] == folded) {
            if (m_eof || !m_statement) {
                throw EngineError(kNoCurrentRecord, "No current record.");
            }
            return m_values[c];
        }
    }
    throw EngineError(kItemNotFound, "Item not found in this collection.");
}

long SqliteRecordset::recordCount() const {
    return m_rowsRead;
}

void SqliteRecordset::close() {
    m_statement.reset();
    m_eof = true;
}

} // namespace korvalt
