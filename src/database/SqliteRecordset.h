#pragma once

#include "database/Recordset.h"
#include "database/SqliteConnection.h"

#include <memory>
#include <string>
#include <vector>

namespace korvalt {

// Forward reading of one prepared query: only the current record is held, so
// a result of any size streams through.
class SqliteRecordset : public Recordset {
public:
    // Steps to the first record at once.
    SqliteRecordset(std::shared_ptr<SqliteConnection> connection,
                    SqliteConnection::Statement statement, std::string sql);
    ~SqliteRecordset() override;

    bool isEof() const override;
    void moveNext() override;
    const Value& fields(std::string_view name) const override;
    long recordCount() const override;
    void close() override;

private:
    void advance();

    std::shared_ptr<SqliteConnection> m_connection;
    SqliteConnection::Statement m_statement;
    std::string m_sql;
    std::vector<std::string> m_foldedNames;
    std::vector<Value> m_values;
    bool m_eof = true;
    long m_rowsRead = 0;
};

} // namespace korvalt
