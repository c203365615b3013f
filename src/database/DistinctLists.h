#pragma once

#include "database/Recordset.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace korvalt {

// Answers the statements that fill the filter lists,
//     SELECT DISTINCT c FROM t ORDER BY c [ASC]
// for every text column of a table from one pass over it, instead of one
// scan and one sort per list. A million-row table is read once for all
// eight lists; each list is sorted on its own core where one is free.
//
// The answer is exactly the engine's: one row per value that differs under
// the case-insensitive text order (the first such value in table order, as
// the engine's DISTINCT keeps it), a Null first when there is one, then the
// texts in that order. Only plain tables without indexes qualify (their
// table order is the order the engine scans them in), and only columns
// that hold nothing but text and Null; anything else is left to the engine
// (answer() returns nullptr), as is a statement of any other form.
//
// What one pass computed is kept until each column was handed out once or
// the data changed (by this connection or by another program), so the
// refill after a delete reads the table afresh.
class DistinctLists {
public:
    struct Request {
        std::string column;
        std::string table;
    };
    // The column and table of a list statement, or nothing for any other.
    static std::optional<Request> match(const std::string& sql);

    explicit DistinctLists(sqlite3* db);
    ~DistinctLists();
    DistinctLists(const DistinctLists&) = delete;
    DistinctLists& operator=(const DistinctLists&) = delete;

    // The statement's rows, or nullptr when the engine must answer it.
    // Raises EngineError when reading the table fails.
    std::unique_ptr<Recordset> answer(const std::string& sql);

private:
    struct Column;
    struct Snapshot {
        std::int64_t changes = -1;
        std::int64_t dataVersion = -1;
        bool operator==(const Snapshot&) const = default;
    };

    Snapshot now() const;
    bool qualifies(const std::string& table, std::vector<std::string>& textColumns) const;
    void readTable(const std::string& table, const std::vector<std::string>& columns);

    sqlite3* m_db;
    std::string m_table; // folded name of the table read, "" when nothing is kept
    Snapshot m_readAt;
    std::vector<std::unique_ptr<Column>> m_columns;
};

} // namespace korvalt
