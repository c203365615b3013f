#pragma once

#include "database/Database.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace korvalt::test_support {

// One statement against a database holding exactly the records of
// fixtures/pipe-small.csv, with its expected answer worked out from that file.
// The same table runs against every database kind (our SQLite file, the
// Access fixtures), so all kinds must agree.
struct EngineCase {
    enum class Run { Query, Action };
    enum class Order { Any, AsListed };

    std::string name; // test name: letters, digits and _ only
    std::string sql;
    Run run = Run::Query;
    // For a query: the field read from every record, and the values expected,
    // as text (numbers in plain decimal form, Null as "<Null>"); texts compare
    // without regard to case, as the engine's DISTINCT keeps either spelling.
    std::string field = "UNIQUE_ID";
    std::vector<std::string> expected;
    Order order = Order::Any;
    // Non-zero: the statement must fail with this error number.
    int error = 0;
};

// Test names show the statement.
inline void PrintTo(const EngineCase& c, std::ostream* os) {
    *os << c.sql;
}

// Statements that do not change the data.
const std::vector<EngineCase>& engineQueryCases();

// Runs one case on an open database, reporting through GoogleTest assertions.
void checkEngineCase(Database& db, const EngineCase& c);

// The field of every record of a query, as checkEngineCase compares them.
std::vector<std::string> readField(Database& db, const std::string& sql, const std::string& field);

// The EngineError a call raises as "number description", or "accepted".
std::string errorOf(const std::function<void()>& call);

} // namespace korvalt::test_support
