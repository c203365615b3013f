#include "database/odbc/OdbcRecordset.h"

#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/TextFold.h"
#include "database/odbc/OdbcText.h"

#include <sqlext.h>

#include <algorithm>
#include <array>

namespace korvalt {

namespace {

using engine_errors::kItemNotFound;
using engine_errors::kNoCurrentRecord;
using engine_errors::kObjectClosed;

// Whole numbers come as numbers up to 18 digits; a decimal with places (or
// one too wide) as a floating-point number; everything else as text.
bool isWhole(SQLSMALLINT type, SQLULEN precision, SQLSMALLINT scale) {
    switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return true;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return scale == 0 && precision > 0 && precision <= 18;
    default:
        return false;
    }
}

bool isReal(SQLSMALLINT type) {
    switch (type) {
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return true;
    default:
        return false;
    }
}

} // namespace

OdbcRecordset::OdbcRecordset(std::shared_ptr<odbc::Connection> connection,
                             odbc::Statement statement)
    : m_connection(std::move(connection)), m_statement(std::move(statement)) {
    SQLHSTMT handle = m_statement.get();
    SQLSMALLINT count = 0;
    m_connection->check(SQLNumResultCols(handle, &count), SQL_HANDLE_STMT, handle);
    m_columns.resize(static_cast<std::size_t>(count));
    for (SQLSMALLINT c = 0; c < count; ++c) {
        std::array<SQLWCHAR, 256> name{};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN precision = 0;
        SQLSMALLINT scale = 0;
        SQLSMALLINT nullable = 0;
        m_connection->check(SQLDescribeColW(handle, static_cast<SQLUSMALLINT>(c + 1), name.data(),
                                            static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                            &type, &precision, &scale, &nullable),
                            SQL_HANDLE_STMT, handle);
        const std::size_t units = std::min(
            name.size() - 1, static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)));
        Column& column = m_columns[static_cast<std::size_t>(c)];
        column.foldedName = JetLike::fold(odbc::fromWide(name.data(), units));
        column.kind = isWhole(type, precision, scale) ? Kind::Integer
                      : isReal(type)                  ? Kind::Real
                                                      : Kind::Text;
    }
    advance();
}

OdbcRecordset::~OdbcRecordset() = default;

void OdbcRecordset::advance() {
    SQLHSTMT handle = m_statement.get();
    const SQLRETURN rc = SQLFetch(handle);
    if (rc == SQL_NO_DATA) {
        m_eof = true;
        return;
    }
    m_connection->check(rc, SQL_HANDLE_STMT, handle);
    m_eof = false;
    ++m_rowsRead;
    readRecord();
}

void OdbcRecordset::readRecord() {
    SQLHSTMT handle = m_statement.get();
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        Column& column = m_columns[c];
        const auto number = static_cast<SQLUSMALLINT>(c + 1);
        SQLLEN indicator = 0;
        switch (column.kind) {
        case Kind::Integer: {
            SQLBIGINT v = 0;
            m_connection->check(
                SQLGetData(handle, number, SQL_C_SBIGINT, &v, sizeof(v), &indicator),
                SQL_HANDLE_STMT, handle);
            column.null = indicator == SQL_NULL_DATA;
            column.value = column.null ? Value::null() : Value::integer(v);
            column.madeAt = m_rowsRead;
            break;
        }
        case Kind::Real: {
            double v = 0;
            m_connection->check(SQLGetData(handle, number, SQL_C_DOUBLE, &v, sizeof(v), &indicator),
                                SQL_HANDLE_STMT, handle);
            column.null = indicator == SQL_NULL_DATA;
            column.value = column.null ? Value::null() : Value::real(v);
            column.madeAt = m_rowsRead;
            break;
        }
        case Kind::Text:
            column.null = !m_connection->getText(handle, number, column.text);
            break;
        }
    }
}

bool OdbcRecordset::isEof() const {
    return m_eof;
}

void OdbcRecordset::moveNext() {
    if (!m_statement)
        throw EngineError(kObjectClosed, "Object invalid or no longer set.");
    if (m_eof)
        throw EngineError(kNoCurrentRecord, "No current record.");
    advance();
}

int OdbcRecordset::fieldPosition(std::string_view name) const {
    // Writers ask by name for every record: an ASCII name is compared as it
    // is, without making a folded copy.
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::string folded = ascii ? std::string() : JetLike::fold(name);
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        if (ascii ? asciiFoldsTo(name, m_columns[c].foldedName) : m_columns[c].foldedName == folded)
            return static_cast<int>(c);
    }
    return -1;
}

void OdbcRecordset::checkCurrent() const {
    if (m_eof || !m_statement)
        throw EngineError(kNoCurrentRecord, "No current record.");
}

const Value& OdbcRecordset::fields(std::string_view name) const {
    const int position = fieldPosition(name);
    if (position < 0)
        throw EngineError(kItemNotFound, "Item not found in this collection.");
    return valueAt(position);
}

std::optional<std::string_view> OdbcRecordset::textAt(int position) const {
    checkCurrent();
    const Column& column = m_columns.at(static_cast<std::size_t>(position));
    if (column.kind != Kind::Text || column.null)
        return std::nullopt;
    return std::string_view(column.text);
}

const Value& OdbcRecordset::valueAt(int position) const {
    checkCurrent();
    Column& column = m_columns.at(static_cast<std::size_t>(position));
    if (column.madeAt != m_rowsRead) {
        column.value = column.null ? Value::null() : Value::text(column.text);
        column.madeAt = m_rowsRead;
    }
    return column.value;
}

long OdbcRecordset::recordCount() const {
    return m_rowsRead;
}

void OdbcRecordset::close() {
    m_statement.reset();
    m_eof = true;
}

} // namespace korvalt
