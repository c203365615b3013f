#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcRowset.h"
#include "support/PgServer.h"

#include <gtest/gtest.h>

#include <string>

namespace korvalt::odbc {
namespace {

// Records read a block at a time arrive as the server sent them, through
// either way of reading text: short and long texts (longer than a field's
// buffer, at every place in a block), letters beyond ASCII, empty text and
// Null apart, numbers and Null numbers.
class RowsetText : public ::testing::TestWithParam<bool> {};

TEST_P(RowsetText, EveryFieldArrivesWhole) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const bool narrow = GetParam();
    // Through a server cursor, so that blocks also span the driver's fetches.
    Connection connection(server->connectionStringWith("UseDeclareFetch=1;Fetch=300"));
    connection.learnTextEncoding(narrow ? std::string("SELECT '") + Connection::kNarrowProbe + "'"
                                        : std::string("SELECT 'not the probe'"));
    ASSERT_EQ(connection.narrowTextIsUtf8(), narrow);
    const Statement statement = connection.run(
        "SELECT g, CASE WHEN g % 5 = 0 THEN NULL WHEN g % 5 = 1 THEN '' ELSE "
        "repeat('Ø', g % 400) || 'é' END, CASE WHEN g % 7 = 0 THEN NULL ELSE g * 0.5 END "
        "FROM generate_series(1, 1000) AS g ORDER BY g");
    Rowset rowset(connection, statement.get(),
                  {ColumnKind::Integer, ColumnKind::Text, ColumnKind::Real});
    RowBatch batch;
    while (rowset.fetch()) {
        for (std::size_t row = 0; row < rowset.rows(); ++row)
            rowset.appendRow(row, batch);
        batch.rows += rowset.rows();
    }
    ASSERT_EQ(batch.rows, 1000u);
    ASSERT_EQ(batch.cells.size(), 3000u);
    for (std::int64_t g = 1; g <= 1000; ++g) {
        const auto* cells = &batch.cells[static_cast<std::size_t>(g - 1) * 3];
        ASSERT_FALSE(cells[0].null);
        ASSERT_EQ(cells[0].integer, g);
        std::string expected;
        if (g % 5 > 1) {
            for (std::int64_t k = 0; k < g % 400; ++k)
                expected += "Ø";
            expected += "é";
        }
        ASSERT_EQ(cells[1].null, g % 5 == 0) << g;
        ASSERT_EQ(batch.bytes.substr(cells[1].offset, cells[1].length), expected) << g;
        ASSERT_EQ(cells[2].null, g % 7 == 0) << g;
        if (!cells[2].null) {
            ASSERT_EQ(cells[2].real, static_cast<double>(g) * 0.5) << g;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Both, RowsetText, ::testing::Values(true, false),
                         [](const auto& param) { return param.param ? "Utf8" : "Wide"; });

} // namespace
} // namespace korvalt::odbc
