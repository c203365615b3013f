#pragma once

#include "database/Recordset.h"
#include "database/odbc/OdbcConnection.h"

#include <memory>
#include <string>
#include <vector>

namespace korvalt {

// Forward reading of a statement's result on the server: one record at a
// time is fetched and read whole (every column, in order, as the drivers
// want); a field becomes a Value only when asked for one.
class OdbcRecordset : public Recordset {
public:
    // Fetches the first record at once.
    OdbcRecordset(std::shared_ptr<odbc::Connection> connection, odbc::Statement statement);
    ~OdbcRecordset() override;

    bool isEof() const override;
    void moveNext() override;
    const Value& fields(std::string_view name) const override;
    long recordCount() const override;
    void close() override;

    int fieldPosition(std::string_view name) const override;
    std::optional<std::string_view> textAt(int position) const override;
    const Value& valueAt(int position) const override;

private:
    enum class Kind { Integer, Real, Text };
    struct Column {
        std::string foldedName;
        Kind kind = Kind::Text;
        // Of the current record; for text `value` is made from `text` on demand.
        bool null = true;
        std::string text;
        Value value;
        long madeAt = 0;
    };

    void advance();
    void readRecord();
    void checkCurrent() const;

    std::shared_ptr<odbc::Connection> m_connection;
    odbc::Statement m_statement;
    mutable std::vector<Column> m_columns;
    bool m_eof = true;
    long m_rowsRead = 0;
};

} // namespace korvalt
