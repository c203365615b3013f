#include "database/SqliteRecordset.h"

#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/TextFold.h"

#include <sqlite3.h>

namespace korvalt {

namespace {

using engine_errors::kItemNotFound;
using engine_errors::kNoCurrentRecord;
using engine_errors::kObjectClosed;

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
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
    m_fields.resize(m_foldedNames.size());
    m_values.resize(m_foldedNames.size());
    m_madeAt.assign(m_foldedNames.size(), 0);
    advance();
}

SqliteRecordset::~SqliteRecordset() = default;

void SqliteRecordset::advance() {
    bool row = false;
    try {
        row = m_connection->step(m_statement.get(), m_sql);
    } catch (...) {
        // The engine let go of the record's text: nothing may point into it.
        for (Field& field : m_fields) {
            field = Field{SQLITE_NULL, {}};
        }
        throw;
    }
    if (!row) {
        m_eof = true;
        return;
    }
    m_eof = false;
    ++m_rowsRead;
    // Every column call would take the connection's mutex by itself; one
    // hold for the whole record lets the values be read directly.
    sqlite3_stmt* statement = m_statement.get();
    sqlite3_mutex* mutex = sqlite3_db_mutex(sqlite3_db_handle(statement));
    sqlite3_mutex_enter(mutex);
    for (std::size_t c = 0; c < m_fields.size(); ++c) {
        sqlite3_value* value = sqlite3_column_value(statement, static_cast<int>(c));
        Field& field = m_fields[c];
        field.type = sqlite3_value_type(value);
        if (field.type == SQLITE_TEXT || field.type == SQLITE_BLOB) {
            // Blobs are shown as their bytes.
            const auto* bytes = sqlite3_value_text(value);
            const int size = sqlite3_value_bytes(value);
            field.text = bytes == nullptr || size <= 0
                             ? std::string_view()
                             : std::string_view(reinterpret_cast<const char*>(bytes),
                                                static_cast<std::size_t>(size));
        }
    }
    sqlite3_mutex_leave(mutex);
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

int SqliteRecordset::findColumn(std::string_view name) const {
    if (isAscii(name)) {
        for (std::size_t c = 0; c < m_foldedNames.size(); ++c) {
            if (asciiFoldsTo(name, m_foldedNames[c]))
                return static_cast<int>(c);
        }
        return -1;
    }
    const std::string folded = JetLike::fold(name);
    for (std::size_t c = 0; c < m_foldedNames.size(); ++c) {
        if (m_foldedNames[c] == folded)
            return static_cast<int>(c);
    }
    return -1;
}

void SqliteRecordset::checkCurrent() const {
    if (m_eof || !m_statement) {
        throw EngineError(kNoCurrentRecord, "No current record.");
    }
}

const Value& SqliteRecordset::fields(std::string_view name) const {
    const int column = findColumn(name);
    if (column < 0) {
        throw EngineError(kItemNotFound, "Item not found in this collection.");
    }
    return valueAt(column);
}

int SqliteRecordset::fieldPosition(std::string_view name) const {
    return findColumn(name);
}

std::optional<std::string_view> SqliteRecordset::textAt(int position) const {
    checkCurrent();
    const Field& field = m_fields.at(static_cast<std::size_t>(position));
    if (field.type == SQLITE_TEXT || field.type == SQLITE_BLOB) {
        return field.text;
    }
    return std::nullopt;
}

const Value& SqliteRecordset::valueAt(int position) const {
    checkCurrent();
    const auto c = static_cast<std::size_t>(position);
    const Field& field = m_fields.at(c);
    Value& value = m_values[c];
    if (m_madeAt[c] == m_rowsRead) {
        return value;
    }
    switch (field.type) {
    case SQLITE_NULL:
        value = Value::null();
        break;
    case SQLITE_INTEGER:
        value = Value::integer(sqlite3_column_int64(m_statement.get(), position));
        break;
    case SQLITE_FLOAT:
        value = Value::real(sqlite3_column_double(m_statement.get(), position));
        break;
    default:
        value = Value::text(std::string(field.text));
        break;
    }
    m_madeAt[c] = m_rowsRead;
    return value;
}

long SqliteRecordset::recordCount() const {
    return m_rowsRead;
}

void SqliteRecordset::close() {
    m_statement.reset();
    m_eof = true;
}

} // namespace korvalt
