#pragma once

#include <sql.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvalt::odbc {

class Connection;

enum class ColumnKind : std::uint8_t { Integer, Real, Text };

// Records of a result with their values converted, in one piece of memory.
struct RowBatch {
    struct Cell {
        bool null = true;
        std::int64_t integer = 0;
        double real = 0;
        std::size_t offset = 0; // text: where in `bytes`
        std::size_t length = 0;
    };
    std::size_t rows = 0;
    std::vector<Cell> cells; // row after row, one per column
    std::string bytes;
};

// Fetches a statement's records many at a time into buffers bound to its
// columns, where the driver allows it: a call into the driver per few
// hundred records instead of one per field. A text longer than its buffer
// is read again whole. Drivers that cannot read a field of a bound block get
// one record per fetch, their texts read field by field.
class Rowset {
public:
    Rowset(const Connection& connection, SQLHSTMT statement, std::vector<ColumnKind> kinds);
    Rowset(const Rowset&) = delete;
    Rowset& operator=(const Rowset&) = delete;

    // The next block of records; false at the end of the result.
    bool fetch();
    std::size_t rows() const { return static_cast<std::size_t>(m_fetched); }
    // Adds record `row` of the block to `batch`.
    void appendRow(std::size_t row, RowBatch& batch);

private:
    struct Column {
        ColumnKind kind = ColumnKind::Text;
        bool bound = false;
        std::vector<SQLBIGINT> integers;
        std::vector<double> reals;
        std::vector<unsigned char> text; // kTextBytes per record
        std::vector<SQLLEN> indicators;
    };

    // False for a Null.
    bool appendText(std::size_t row, SQLUSMALLINT number, const Column& column, RowBatch& batch);

    const Connection& m_connection;
    SQLHSTMT m_statement;
    std::vector<Column> m_columns;
    SQLULEN m_blockRows = 1;
    SQLULEN m_fetched = 0;
    bool m_narrow = false;
};

} // namespace korvalt::odbc
