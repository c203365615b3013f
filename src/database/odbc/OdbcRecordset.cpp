#include "database/odbc/OdbcRecordset.h"

#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/TextFold.h"
#include "database/odbc/OdbcPacked.h"
#include "database/odbc/OdbcText.h"

#include <sqlext.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>

namespace korvalt {

namespace {

using engine_errors::kItemNotFound;
using engine_errors::kNoCurrentRecord;
using engine_errors::kObjectClosed;

// The first batch is small so that the first record is there soon; later
// ones are large enough that handing them over costs next to nothing.
constexpr std::size_t kFirstBatchRows = 64;
constexpr std::size_t kBatchRows = 1024;
constexpr auto kBusyInterval = std::chrono::milliseconds(100);

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
                             const std::string& serverSql, bool packed,
                             const std::function<void()>& stillBusy)
    : m_connection(std::move(connection)), m_packed(packed) {
    m_reader = std::thread([this, serverSql] { readAll(serverSql); });
    if (stillBusy) {
        while (!m_queue.ready(kBusyInterval))
            stillBusy();
    }
    try {
        takeBatch();
    } catch (...) {
        stopReading();
        throw;
    }
}

OdbcRecordset::~OdbcRecordset() {
    stopReading();
}

void OdbcRecordset::describeColumns() {
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
        column.kind = isWhole(type, precision, scale) ? odbc::ColumnKind::Integer
                      : isReal(type)                  ? odbc::ColumnKind::Real
                                                      : odbc::ColumnKind::Text;
    }
}

// The reader thread: the only one to touch the statement and the columns'
// descriptions until it hands over the first batch or ends.
void OdbcRecordset::readAll(const std::string& serverSql) {
    try {
        if (m_packed) {
            // The columns come from the same query without records.
            m_statement = m_connection->run(odbc::emptyQuery(serverSql));
            describeColumns();
            m_statement = m_connection->run(odbc::packedQuery(serverSql));
        } else {
            m_statement = m_connection->run(serverSql);
            describeColumns();
        }
        std::vector<odbc::ColumnKind> kinds;
        for (const Column& column : m_columns)
            kinds.push_back(column.kind);
        odbc::Rowset rowset(*m_connection, m_statement.get(),
                            m_packed ? std::vector{odbc::ColumnKind::Text} : kinds);
        std::size_t limit = kFirstBatchRows;
        odbc::RowBatch batch;
        odbc::RowBatch packed;
        while (rowset.fetch()) {
            for (std::size_t row = 0; row < rowset.rows(); ++row) {
                if (m_packed) {
                    packed.cells.clear();
                    packed.bytes.clear();
                    rowset.appendRow(row, packed);
                    const odbc::RowBatch::Cell& record = packed.cells.front();
                    odbc::unpackRecord(
                        std::string_view(packed.bytes).substr(record.offset, record.length), kinds,
                        batch);
                } else {
                    rowset.appendRow(row, batch);
                }
                if (++batch.rows == limit) {
                    if (!m_queue.push(std::move(batch)))
                        return;
                    batch = odbc::RowBatch{};
                    batch.cells.reserve(kBatchRows * kinds.size());
                    limit = kBatchRows;
                }
            }
        }
        if (batch.rows > 0 && !m_queue.push(std::move(batch)))
            return;
        m_queue.finish();
    } catch (...) {
        m_queue.finish(std::current_exception());
    }
}

void OdbcRecordset::takeBatch() {
    m_row = 0;
    m_batch = odbc::RowBatch{};
    m_eof = !m_queue.pop(m_batch);
    if (!m_eof)
        ++m_rowsRead;
}

void OdbcRecordset::stopReading() {
    m_queue.cancel();
    if (m_reader.joinable())
        m_reader.join();
}

const odbc::RowBatch::Cell& OdbcRecordset::cell(std::size_t column) const {
    return m_batch.cells[m_row * m_columns.size() + column];
}

bool OdbcRecordset::isEof() const {
    return m_eof;
}

void OdbcRecordset::moveNext() {
    if (!m_statement)
        throw EngineError(kObjectClosed, "Object invalid or no longer set.");
    if (m_eof)
        throw EngineError(kNoCurrentRecord, "No current record.");
    if (++m_row < m_batch.rows) {
        ++m_rowsRead;
        return;
    }
    takeBatch();
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
    const auto c = static_cast<std::size_t>(position);
    if (m_columns.at(c).kind != odbc::ColumnKind::Text || cell(c).null)
        return std::nullopt;
    return std::string_view(m_batch.bytes).substr(cell(c).offset, cell(c).length);
}

const Value& OdbcRecordset::valueAt(int position) const {
    checkCurrent();
    const auto c = static_cast<std::size_t>(position);
    Column& column = m_columns.at(c);
    if (column.madeAt != m_rowsRead) {
        const odbc::RowBatch::Cell& here = cell(c);
        column.value = here.null                                  ? Value::null()
                       : column.kind == odbc::ColumnKind::Integer ? Value::integer(here.integer)
                       : column.kind == odbc::ColumnKind::Real
                           ? Value::real(here.real)
                           : Value::text(std::string(m_batch.bytes, here.offset, here.length));
        column.madeAt = m_rowsRead;
    }
    return column.value;
}

long OdbcRecordset::recordCount() const {
    return m_rowsRead;
}

void OdbcRecordset::close() {
    stopReading();
    m_statement.reset();
    m_eof = true;
}

} // namespace korvalt
