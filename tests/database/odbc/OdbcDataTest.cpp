#include "database/Database.h"
#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcPacked.h"
#include "database/odbc/OdbcRowset.h"
#include "database/odbc/OdbcText.h"
#include "support/EngineCases.h"
#include "support/PgServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace korvalt::odbc {
namespace {

using test_support::errorOf;

TEST(OdbcText, ConnectionStringsAreToldFromPathsAndShownWithoutPassword) {
    const struct {
        const char* address;
        bool connection;
        const char* shown;
        std::vector<std::string> passwords;
    } cases[] = {
        {"DSN=Plant", true, "DSN=Plant", {}},
        {"Dsn=P;pwd=s3cret;Database=x", true, "Dsn=P;pwd=***;Database=x", {"s3cret"}},
        {"DRIVER={PG};SERVER=db;PASSWORD=s3;", true, "DRIVER={PG};SERVER=db;PASSWORD=***;", {"s3"}},
        {"Driver={SQL};Pwd={se;cr}}et};UID=x", true, "Driver={SQL};Pwd={***};UID=x", {"se;cr}et"}},
        {"driver=x; PWD = {a}}b}}}", true, "driver=x; PWD = {***}", {"a}b}"}},
        // A doubled brace at the very end of a value that is never closed.
        {"DSN=a;PWD={x}}", true, "DSN=a;PWD={***", {"x}"}},
        {"DSN=a;PWD={unclosed;UID=x", true, "DSN=a;PWD={***", {"unclosed;UID=x"}},
        {"DSN=a;PWD=one;PASSWORD=two", true, "DSN=a;PWD=***;PASSWORD=***", {"one", "two"}},
        // PWDX and XPWD are other attributes; an empty password stays empty.
        {"DSN=a;PWDX=k;XPWD=k;PWD=", true, "DSN=a;PWDX=k;XPWD=k;PWD=***", {}},
        // Paths, however they look, are shown as they are.
        {"/data/DSN=Plant/pipe.mdb", false, "/data/DSN=Plant/pipe.mdb", {}},
        {" DSN=Plant", false, " DSN=Plant", {}},
        {"DSN Plant;PWD=x", false, "DSN Plant;PWD=x", {"x"}},
        {"DRIVE=x;PWD=y", false, "DRIVE=x;PWD=y", {"y"}},
        {"", false, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(IsConnectionString(c.address), c.connection);
        EXPECT_EQ(HidePassword(c.address), c.shown);
        EXPECT_EQ(passwordsIn(c.address), c.passwords);
    }
    EXPECT_EQ(withoutPasswords("pw: no pw*, pw", {"pw*", "pw"}), "***: no ***, ***");
}

// UTF-8 <-> UTF-16: pairs for characters past U+FFFF at either end; what is no character is U+FFFD.
TEST(OdbcText, TextCrossesToUtf16AndBack) {
    const std::string top = "\xF4\x8F\xBF\xBF", smile = "\xF0\x9F\x98\x80", bad = "\xEF\xBF\xBD";
    const struct {
        std::optional<std::string> utf8; // what gives `wide`, if anything does
        WideString wide;
        std::string back; // what `wide` turns into
    } cases[] = {
        {"\x7F\xC2\x80\xEF\xBF\xBF", {0x7F, 0x80, 0xFFFF}, "\x7F\xC2\x80\xEF\xBF\xBF"},
        {"\xF0\x90\x80\x80", {0xD800, 0xDC00}, "\xF0\x90\x80\x80"},
        {top + "a" + smile, {0xDBFF, 0xDFFF, 'a', 0xD83D, 0xDE00}, top + "a" + smile},
        {"x\xFFy\xED\xA0\x80",
         {'x', 0xFFFD, 'y', 0xFFFD, 0xFFFD, 0xFFFD},
         "x" + bad + "y" + bad + bad + bad},
        // Halves without their partner, at the start, inside and at the end.
        {std::nullopt, {0xDC00, 'a'}, bad + "a"},
        {std::nullopt, {'a', 0xD83D}, "a" + bad},
        {std::nullopt, {0xD83D, 'b', 0xDE00}, bad + "b" + bad},
        {std::nullopt, {0xDBFF, 0xDBFF, 0xDFFF, 0xE000}, bad + top + "\xEE\x80\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.back);
        if (c.utf8) {
            EXPECT_EQ(toWide(*c.utf8), c.wide);
        }
        EXPECT_EQ(fromWide(c.wide.data(), c.wide.size()), c.back);
        std::string out = "kept";
        appendFromWide(c.wide.data(), c.wide.size(), out);
        EXPECT_EQ(out, "kept" + c.back);
    }
    const WideString ab = {'a', 0xD83D, 0xDE00};
    EXPECT_EQ(fromWide(ab.data(), 2), "a" + bad);
}

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
        else
            out.emplace_back(kind == K::Integer      ? "i" + std::to_string(cell.integer)
                             : kind == K::Text       ? batch.bytes.substr(cell.offset, cell.length)
                             : std::isnan(cell.real) ? "rNaN"
                                                     : "r" + std::to_string(cell.real));
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
    EXPECT_EQ(unpacked(R"rec(("a,b"," x ","(y)","2"" pipe","C:\\dir\\",""""))rec",
                       std::vector<ColumnKind>(6, K::Text)),
              (Cells{"a,b", " x ", "(y)", "2\" pipe", "C:\\dir\\", "\""}));
    EXPECT_EQ(
        unpacked("(Ventil Ø50,-7,1e+100,NaN,-Infinity,Infinity,t,f)",
                 {K::Text, K::Integer, K::Real, K::Real, K::Real, K::Real, K::Integer, K::Integer}),
        (Cells{"Ventil Ø50", "i-7", "r" + std::to_string(1e100), "rNaN",
               "r" + std::to_string(-HUGE_VAL), "r" + std::to_string(HUGE_VAL), "i1", "i0"}));
    EXPECT_EQ(unpacked("()", {K::Text}), (Cells{std::nullopt}));
    const std::string unreadable =
        "3146 ODBC--call failed. The server sent a record Korvalt cannot read: ";
    for (const char* bad : {"", "AREA1", "(a,b", "(1,b,c)", "(1,\"b\"x)", "(a)", "(\"open,b)",
                            "(x,b)", "(1.5x,b)", "(\"a\"b,c)", "(1,\"b)"})
        EXPECT_EQ(errorOf([&] { unpacked(bad, {K::Integer, K::Text}); }), unreadable + bad);
    EXPECT_EQ(packedQuery("SELECT * FROM \"Pipe\" ORDER BY 1; \t\r\n"),
              "SELECT ROW(k.*)::text FROM (SELECT * FROM \"Pipe\" ORDER BY 1) AS k");
    EXPECT_EQ(emptyQuery("SELECT 1;"), "SELECT * FROM (SELECT 1) AS k LIMIT 0");
}

// Fetched a block at a time, texts beyond a field's buffer arrive whole, either way of reading.
TEST(OdbcRowset, EveryFieldArrivesWholeBothWays) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const std::vector<ColumnKind> kinds = {K::Integer, K::Text, K::Real};
    Cells expected;
    std::string text = "Ø😀";
    for (int g = 1; g <= 1000; ++g, text = g % 400 == 0 ? "😀" : "Ø" + text)
        expected.insert(expected.end(),
                        {"i" + std::to_string(g),
                         g % 5 == 0 ? std::nullopt : std::optional(g % 5 == 1 ? "" : text),
                         g % 7 == 0 ? std::nullopt : std::optional("r" + std::to_string(g * 0.5))});
    for (const bool narrow : {true, false}) {
        SCOPED_TRACE(narrow);
        // Through a server cursor, so that blocks also span the driver's fetches.
        Connection connection(server->connectionStringWith("UseDeclareFetch=1;Fetch=300"));
        connection.learnTextEncoding(narrow
                                         ? std::string("SELECT '") + Connection::kNarrowProbe + "'"
                                         : "SELECT * FROM korvalt_no_such_table");
        ASSERT_EQ(connection.narrowTextIsUtf8(), narrow);
        const Statement statement = connection.run(
            "SELECT g, CASE WHEN g % 5 = 0 THEN NULL WHEN g % 5 = 1 THEN '' ELSE "
            "repeat('Ø', g % 400) || '😀' END, CASE WHEN g % 7 = 0 THEN NULL ELSE g * 0.5 END "
            "FROM generate_series(1, 1000) AS g ORDER BY g");
        Rowset rowset(connection, statement.get(), kinds);
        RowBatch batch;
        std::size_t most = 0; // rows a fetch brings: a block where the driver allows
        while (rowset.fetch()) {
            most = std::max(most, rowset.rows());
            for (std::size_t row = 0; row < rowset.rows(); ++row)
                rowset.appendRow(row, batch);
        }
        EXPECT_EQ(shown(batch, kinds), expected);
        EXPECT_GT(most, 1u);
        const Statement null = connection.run("SELECT NULL::text");
        std::string cell = "earlier";
        ASSERT_EQ(SQLFetch(null.get()), SQL_SUCCESS);
        EXPECT_FALSE(connection.getText(null.get(), 1, cell));
        // A text read to its end (a driver without lengths ends so) has no more, and is not Null.
        const Statement once = connection.run("SELECT 'Ø'");
        ASSERT_EQ(SQLFetch(once.get()), SQL_SUCCESS);
        EXPECT_TRUE(connection.getText(once.get(), 1, cell) && cell == "Ø");
        EXPECT_TRUE(connection.getText(once.get(), 1, cell) && cell.empty());
    }
}

} // namespace
} // namespace korvalt::odbc
