#pragma once

#include "database/BatchQueue.h"
#include "database/Recordset.h"
#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcRowset.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace korvalt {

// Forward reading of a statement's result on the server. A thread of its own
// fetches the records from the driver and converts their values, a batch at
// a time, while the caller uses the records before: for a large result the
// driver's work and the caller's then overlap. A field becomes a Value only
// when asked for one.
class OdbcRecordset : public Recordset {
public:
    // Runs a query of the server's own SQL and waits for its first record
    // (the server's sort, for an ordered query; a lock another user holds),
    // calling `stillBusy`, if given, now and then meanwhile. `packed`: the
    // records are asked for as one text each (PostgreSQL; see OdbcPacked.h).
    OdbcRecordset(std::shared_ptr<odbc::Connection> connection, const std::string& serverSql,
                  bool packed, const std::function<void()>& stillBusy = {});
    ~OdbcRecordset() override;
    OdbcRecordset(const OdbcRecordset&) = delete;
    OdbcRecordset& operator=(const OdbcRecordset&) = delete;

    bool isEof() const override;
    void moveNext() override;
    const Value& fields(std::string_view name) const override;
    long recordCount() const override;
    void close() override;

    int fieldPosition(std::string_view name) const override;
    std::optional<std::string_view> textAt(int position) const override;
    const Value& valueAt(int position) const override;

private:
    struct Column {
        std::string foldedName;
        odbc::ColumnKind kind = odbc::ColumnKind::Text;
        // A Value made for the current record, and for which record.
        Value value;
        long madeAt = 0;
    };

    void describeColumns();
    void readAll(const std::string& serverSql);
    void takeBatch();
    void stopReading();
    void checkCurrent() const;
    const odbc::RowBatch::Cell& cell(std::size_t column) const;

    std::shared_ptr<odbc::Connection> m_connection;
    bool m_packed = false;
    odbc::Statement m_statement;
    mutable std::vector<Column> m_columns;
    BatchQueue<odbc::RowBatch> m_queue;
    std::thread m_reader;
    odbc::RowBatch m_batch;
    std::size_t m_row = 0; // within m_batch
    bool m_eof = true;
    long m_rowsRead = 0;
};

} // namespace korvalt
