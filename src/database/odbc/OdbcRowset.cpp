#include "database/odbc/OdbcRowset.h"

#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcText.h"

#include <sqlext.h>

#include <algorithm>

namespace korvalt::odbc {

namespace {

// Large enough that a block costs little per record, small enough to stay
// in the processor's caches.
constexpr SQLULEN kBlockRows = 256;
// Room per text field; nearly every value of a pipe table fits.
constexpr SQLLEN kTextBytes = 256;

} // namespace

Rowset::Rowset(const Connection& connection, SQLHSTMT statement, std::vector<ColumnKind> kinds)
    : m_connection(connection), m_statement(statement), m_narrow(connection.narrowTextIsUtf8()) {
    SQLUINTEGER extensions = 0;
    if (!succeeded(SQLGetInfo(connection.handle(), SQL_GETDATA_EXTENSIONS, &extensions,
                              sizeof(extensions), nullptr)))
        extensions = 0;
    const bool bindText = (extensions & SQL_GD_BOUND) != 0;
    if (bindText && (extensions & SQL_GD_BLOCK) != 0) {
        // A driver may settle for fewer; it says so and the value read back counts.
        SQLSetStmtAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlockRows),
                       0);
        SQLULEN granted = 1;
        if (succeeded(SQLGetStmtAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)))
            m_blockRows = std::max<SQLULEN>(granted, 1);
    }
    connection.check(SQLSetStmtAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched, 0),
                     SQL_HANDLE_STMT, statement);
    m_columns.resize(kinds.size());
    for (std::size_t c = 0; c < kinds.size(); ++c) {
        Column& column = m_columns[c];
        column.kind = kinds[c];
        column.indicators.resize(m_blockRows);
        const auto number = static_cast<SQLUSMALLINT>(c + 1);
        SQLRETURN rc = SQL_SUCCESS;
        switch (column.kind) {
        case ColumnKind::Integer:
            column.integers.resize(m_blockRows);
            rc = SQLBindCol(statement, number, SQL_C_SBIGINT, column.integers.data(),
                            sizeof(SQLBIGINT), column.indicators.data());
            column.bound = true;
            break;
        case ColumnKind::Real:
            column.reals.resize(m_blockRows);
            rc = SQLBindCol(statement, number, SQL_C_DOUBLE, column.reals.data(), sizeof(double),
                            column.indicators.data());
            column.bound = true;
            break;
        case ColumnKind::Text:
            if (!bindText)
                break;
            column.text.resize(m_blockRows * static_cast<std::size_t>(kTextBytes));
            rc = SQLBindCol(statement, number, m_narrow ? SQL_C_CHAR : SQL_C_WCHAR,
                            column.text.data(), kTextBytes, column.indicators.data());
            column.bound = true;
            break;
        }
        connection.check(rc, SQL_HANDLE_STMT, statement);
    }
}

bool Rowset::fetch() {
    m_fetched = 0;
    const SQLRETURN rc = SQLFetch(m_statement);
    if (rc == SQL_NO_DATA)
        return false;
    // A text cut to its buffer is a warning (01004); it is read again whole.
    m_connection.check(rc, SQL_HANDLE_STMT, m_statement);
    return m_fetched > 0;
}

void Rowset::appendRow(std::size_t row, RowBatch& batch) {
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        const Column& column = m_columns[c];
        RowBatch::Cell cell;
        switch (column.kind) {
        case ColumnKind::Integer:
            cell.null = column.indicators[row] == SQL_NULL_DATA;
            cell.integer = column.integers[row];
            break;
        case ColumnKind::Real:
            cell.null = column.indicators[row] == SQL_NULL_DATA;
            cell.real = column.reals[row];
            break;
        case ColumnKind::Text:
            cell.offset = batch.bytes.size();
            cell.null = !appendText(row, static_cast<SQLUSMALLINT>(c + 1), column, batch);
            cell.length = batch.bytes.size() - cell.offset;
            break;
        }
        batch.cells.push_back(cell);
    }
}

bool Rowset::appendText(std::size_t row, SQLUSMALLINT number, const Column& column,
                        RowBatch& batch) {
    if (column.bound) {
        const SQLLEN length = column.indicators[row];
        if (length == SQL_NULL_DATA)
            return false;
        const std::size_t unit = m_narrow ? 1 : sizeof(SQLWCHAR);
        // Room for the terminator the driver writes after the text.
        if (length != SQL_NO_TOTAL && length >= 0 &&
            static_cast<std::size_t>(length) + unit <= static_cast<std::size_t>(kTextBytes)) {
            const unsigned char* text = column.text.data() + row * kTextBytes;
            if (m_narrow) {
                batch.bytes.append(reinterpret_cast<const char*>(text),
                                   static_cast<std::size_t>(length));
            } else {
                appendFromWide(reinterpret_cast<const SQLWCHAR*>(text),
                               static_cast<std::size_t>(length) / unit, batch.bytes);
            }
            return true;
        }
        if (m_blockRows > 1) {
            m_connection.check(SQLSetPos(m_statement, static_cast<SQLSETPOSIROW>(row + 1),
                                         SQL_POSITION, SQL_LOCK_NO_CHANGE),
                               SQL_HANDLE_STMT, m_statement);
        }
    }
    return m_connection.appendText(m_statement, number, batch.bytes);
}

} // namespace korvalt::odbc
