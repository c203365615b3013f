#include "database/EngineError.h"
#include "database/odbc/OdbcPacked.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace korvalt::odbc {
namespace {

using K = ColumnKind;

// What a cell came out as: Null, or its text or number written out.
std::vector<std::optional<std::string>> unpacked(std::string_view record,
                                                 const std::vector<ColumnKind>& kinds) {
    RowBatch batch;
    batch.bytes = "earlier";
    unpackRecord(record, kinds, batch);
    std::vector<std::optional<std::string>> out;
    for (std::size_t c = 0; c < batch.cells.size(); ++c) {
        const RowBatch::Cell& cell = batch.cells[c];
        if (cell.null)
            out.emplace_back(std::nullopt);
        else if (kinds[c] == K::Integer)
            out.emplace_back("i" + std::to_string(cell.integer));
        else if (kinds[c] == K::Real)
            out.emplace_back(std::isnan(cell.real) ? "rNaN" : "r" + std::to_string(cell.real));
        else
            out.emplace_back(batch.bytes.substr(cell.offset, cell.length));
    }
    return out;
}

TEST(UnpackRecord, TakesTheServersRecordTextApart) {
    using Cells = std::vector<std::optional<std::string>>;
    EXPECT_EQ(unpacked("(AREA1.dwg,,\"\",42,2.5,)",
                       {K::Text, K::Text, K::Text, K::Integer, K::Real, K::Real}),
              (Cells{"AREA1.dwg", std::nullopt, "", "i42", "r2.500000", std::nullopt}));
    // Quoted: separators, blanks, parentheses; doubled quotes and backslashes.
    const std::vector<ColumnKind> sixTexts(6, K::Text);
    const Cells quoted =
        unpacked(R"rec(("a,b"," x ","(y)","2"" pipe","C:\\dir\\",""""))rec", sixTexts);
    EXPECT_EQ(quoted, (Cells{"a,b", " x ", "(y)", "2\" pipe", "C:\\dir\\", "\""}));
    EXPECT_EQ(unpacked("(Ventil Ø50 Rückschlag,-7,1e+100,NaN,-Infinity,t)",
                       {K::Text, K::Integer, K::Real, K::Real, K::Real, K::Integer}),
              (Cells{"Ventil Ø50 Rückschlag", "i-7", "r" + std::to_string(1e100), "rNaN",
                     "r" + std::to_string(-HUGE_VAL), "i1"}));
    EXPECT_EQ(unpacked("(\"\")", {K::Text}), (Cells{""}));
    EXPECT_EQ(unpacked("()", {K::Text}), (Cells{std::nullopt}));
}

TEST(UnpackRecord, RefusesTextThatIsNotTheRecord) {
    for (const char* bad : {"", "AREA1", "(a,b", "(1,b,c)", "(1,\"b\"x)", "(a)", "(\"open,b)",
                            "(x,b)", "(1.5x,b)", "(\"a\"b,c)"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(unpacked(bad, {K::Integer, K::Text}), EngineError);
    }
}

TEST(PackedQuery, WrapsTheQueryWithoutItsTerminator) {
    EXPECT_EQ(packedQuery("SELECT * FROM \"Pipe\" ORDER BY 1;\n"),
              "SELECT ROW(k.*)::text FROM (SELECT * FROM \"Pipe\" ORDER BY 1) AS k");
    EXPECT_EQ(emptyQuery("SELECT 1"), "SELECT * FROM (SELECT 1) AS k LIMIT 0");
}

} // namespace
} // namespace korvalt::odbc
