#pragma once

#include "database/Database.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace korvalt::test_support {

// A statement on the records of fixtures/pipe-small.csv and its answer worked out from that
// file; every database kind (our SQLite file, the Access fixtures, the server) must agree.
struct EngineCase {
    enum class Run { Query, Action };
    enum class Order { Any, AsListed };

    std::string sql;
    Run run = Run::Query;
    // A query's field of every record as text (numbers in decimal, Null as "<Null>"), compared
    // without regard to case, as the engine's DISTINCT keeps either spelling.
    std::string field = "UNIQUE_ID";
    std::vector<std::string> expected = {};
    Order order = Order::Any;
    int error = 0; // non-zero: the statement must fail with this error number
};

// Statements that do not change the data.
const std::vector<EngineCase>& engineQueryCases();

// Runs one case on an open database, reporting through GoogleTest assertions.
void checkEngineCase(Database& db, const EngineCase& c);

// The field of every record of a query, as checkEngineCase compares them.
std::vector<std::string> readField(Database& db, const std::string& sql, const std::string& field);

// The EngineError a call raises as "number description", or "accepted".
std::string errorOf(const std::function<void()>& call);

// `text` with every mark in it replaced by its value: the paths and pages of expected messages.
std::string filledIn(std::string text,
                     const std::vector<std::pair<std::string, std::string>>& marks);

} // namespace korvalt::test_support
