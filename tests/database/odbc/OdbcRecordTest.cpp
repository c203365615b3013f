#include "database/EngineError.h"
#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcPacked.h"
#include "database/odbc/OdbcRowset.h"
#include "support/PgServer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace korvalt::odbc {
namespace {

using K = ColumnKind;
using Cells = std::vector<std::optional<std::string>>;

// The cells of a batch: Null, or their text or number written out.
Cells shown(const RowBatch& batch, const std::vector<ColumnKind>& kinds) {
    Cells out;
    for (std::size_t c = 0; c < batch.cells.size(); ++c) {
        const RowBatch::Cell& cell = batch.cells[c];
        const ColumnKind kind = kinds[c % kinds.size()];
        if (cell.null)
            out.emplace_back(std::nullopt);
        else if (kind == K::Integer)
            out.emplace_back("i" + std::to_string(cell.integer));
        else if (kind == K::Real)
            out.emplace_back(std::isnan(cell.real) ? "rNaN" : "r" + std::to_string(cell.real));
        else
            out.emplace_back(batch.bytes.substr(cell.offset, cell.length));
    }
    return out;
}

Cells unpacked(std::string_view record, const std::vector<ColumnKind>& kinds) {
    RowBatch batch;
    batch.bytes = "earlier";
    unpackRecord(record, kinds, batch);
    return shown(batch, kinds);
}

TEST(OdbcPacked, TakesTheServersRecordTextApart) {
    EXPECT_EQ(unpacked("(AREA1.dwg,,\"\",42,2.5,)",
                       {K::Text, K::Text, K::Text, K::Integer, K::Real, K::Real}),
              (Cells{"AREA1.dwg", std::nullopt, "", "i42", "r2.500000", std::nullopt}));
    // Quoted: separators, blanks, parentheses; doubled quotes and backslashes.
    EXPECT_EQ(unpacked(R"rec(("a,b"," x ","(y)","2"" pipe","C:\\dir\\",""""))rec",
                       std::vector<ColumnKind>(6, K::Text)),
              (Cells{"a,b", " x ", "(y)", "2\" pipe", "C:\\dir\\", "\""}));
    EXPECT_EQ(
        unpacked("(Ventil Ø50,-7,1e+100,NaN,-Infinity,Infinity,t,f)",
                 {K::Text, K::Integer, K::Real, K::Real, K::Real, K::Real, K::Integer, K::Integer}),
        (Cells{"Ventil Ø50", "i-7", "r" + std::to_string(1e100), "rNaN",
               "r" + std::to_string(-HUGE_VAL), "r" + std::to_string(HUGE_VAL), "i1", "i0"}));
    EXPECT_EQ(unpacked("()", {K::Text}), (Cells{std::nullopt}));
    for (const char* bad : {"", "AREA1", "(a,b", "(1,b,c)", "(1,\"b\"x)", "(a)", "(\"open,b)",
                            "(x,b)", "(1.5x,b)", "(\"a\"b,c)", "(1,\"b)"}) {
        SCOPED_TRACE(bad);
        try {
            unpacked(bad, {K::Integer, K::Text});
            ADD_FAILURE() << "read";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), 3146);
            EXPECT_EQ(e.description(), "ODBC--call failed. The server sent a record Korvalt "
                                       "cannot read: " +
                                           std::string(bad));
        }
    }
    EXPECT_EQ(packedQuery("SELECT * FROM \"Pipe\" ORDER BY 1; \t\r\n"),
              "SELECT ROW(k.*)::text FROM (SELECT * FROM \"Pipe\" ORDER BY 1) AS k");
    EXPECT_EQ(emptyQuery("SELECT 1;"), "SELECT * FROM (SELECT 1) AS k LIMIT 0");
}

// Records read a block at a time arrive as the server sent them, through
// either way of reading text: texts longer than a field's buffer at every
// place in a block, letters beyond ASCII, empty text and Null apart.
TEST(OdbcRowset, EveryFieldArrivesWholeBothWays) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const std::vector<ColumnKind> kinds = {K::Integer, K::Text, K::Real};
    Cells expected;
    for (int g = 1; g <= 1000; ++g) {
        std::string text;
        for (int k = 0; k < g % 400; ++k)
            text += "Ø";
        expected.insert(expected.end(),
                        {"i" + std::to_string(g),
                         g % 5 == 0 ? std::nullopt : std::optional(g % 5 == 1 ? "" : text + "😀"),
                         g % 7 == 0 ? std::nullopt : std::optional("r" + std::to_string(g * 0.5))});
    }
    for (const bool narrow : {true, false}) {
        SCOPED_TRACE(narrow);
        // Through a server cursor, so that blocks also span the driver's fetches.
        Connection connection(server->connectionStringWith("UseDeclareFetch=1;Fetch=300"));
        connection.learnTextEncoding(std::string("SELECT '") +
                                     (narrow ? Connection::kNarrowProbe : "not the probe") + "'");
        ASSERT_EQ(connection.narrowTextIsUtf8(), narrow);
        const Statement statement = connection.run(
            "SELECT g, CASE WHEN g % 5 = 0 THEN NULL WHEN g % 5 = 1 THEN '' ELSE "
            "repeat('Ø', g % 400) || '😀' END, CASE WHEN g % 7 = 0 THEN NULL ELSE g * 0.5 END "
            "FROM generate_series(1, 1000) AS g ORDER BY g");
        Rowset rowset(connection, statement.get(), kinds);
        RowBatch batch;
        while (rowset.fetch()) {
            for (std::size_t row = 0; row < rowset.rows(); ++row)
                rowset.appendRow(row, batch);
        }
        EXPECT_EQ(shown(batch, kinds), expected);
    }
}

} // namespace
} // namespace korvalt::odbc
