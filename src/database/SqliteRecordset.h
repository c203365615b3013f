#pragma once

#include "database/Recordset.h"
#include "database/SqliteConnection.h"

#include <memory>
#include <string>
#include <vector>

namespace korvalt {

// Forward reading of one prepared query: only the current record is held, so
// a result of any size streams through. Text is read in place; a field
// becomes a Value only when it is asked for by name or as a value.
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

    int fieldPosition(std::string_view name) const override;
    std::optional<std::string_view> textAt(int position) const override;
    const Value& valueAt(int position) const override;

private:
    // One field of the current record as the engine holds it.
    struct Field {
        int type = 0;          // SQLITE_NULL, SQLITE_INTEGER, ...
        std::string_view text; // for text and blobs
    };

    void advance();
    int findColumn(std::string_view name) const;
    void checkCurrent() const;

    std::shared_ptr<SqliteConnection> m_connection;
    SqliteConnection::Statement m_statement;
    std::string m_sql;
    std::vector<std::string> m_foldedNames;
    std::vector<Field> m_fields;
    // Values made on demand; m_madeAt tells for which record (m_rowsRead).
    mutable std::vector<Value> m_values;
    mutable std::vector<long> m_madeAt;
    bool m_eof = true;
    long m_rowsRead = 0;
};

} // namespace korvalt
