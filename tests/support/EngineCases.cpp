#include "support/EngineCases.h"

#include "database/EngineError.h"
#include "database/JetLike.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <sstream>

namespace korvalt::test_support {

namespace {

using Run = EngineCase::Run;
using Order = EngineCase::Order;

using Ids = std::initializer_list<std::int64_t>;

std::vector<std::string> ids(Ids list, std::int64_t first = 0, std::int64_t last = -1) {
    std::vector<std::string> out;
    for (auto id = first; id <= last; ++id)
        out.push_back(std::to_string(id));
    for (const auto id : list)
        out.push_back(std::to_string(id));
    return out;
}

EngineCase make(std::string name, std::string sql, std::vector<std::string> expected,
                std::string field = "UNIQUE_ID", Order order = Order::Any, int error = 0,
                Run run = Run::Query) {
    return {std::move(name),     std::move(sql), run,  std::move(field),
            std::move(expected), order,          error};
}

// Records that a condition on all of pipe-small.csv selects.
EngineCase where(std::string name, const std::string& condition,
                 std::vector<std::string> expected) {
    return make(std::move(name), "SELECT * FROM PIPE WHERE " + condition, std::move(expected));
}

EngineCase ordered(std::string name, std::string sql, std::vector<std::string> expected,
                   std::string field = "UNIQUE_ID") {
    return make(std::move(name), std::move(sql), std::move(expected), std::move(field),
                Order::AsListed);
}

EngineCase failing(std::string name, std::string sql, int error, Run run = Run::Query) {
    return make(std::move(name), std::move(sql), {}, "UNIQUE_ID", Order::Any, error, run);
}

std::vector<EngineCase> buildCases() {
    const std::string all = "SELECT * FROM PIPE";
    const std::string sort = " ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";
    const auto cs150 = ids({25, 26, 27, 29, 30, 31, 32, 33, 34, 35, 37, 38, 39, 40000}, 1, 12);
    return {
        // Exact comparisons ignore case, compare whole values and never match
        // Null.
        where("ExactSpec", "SPEC_FILE = 'CS150'", cs150),
        where("ExactSpecLowerCase", "SPEC_FILE = 'cs150'", cs150),
        where("ExactIsNotPrefix", "SPEC_FILE = 'CS15'", {}),
        where("ExactTagAnyCase", "Tag = 'P-1'", ids({1, 2, 3})),
        where("ExactShortDescAnyCase", "SHORT_DESC = 'Gate Valve'", ids({2, 3})),
        where("ExactNonAscii", "SHORT_DESC = 'RÜCKSCHLAGVENTIL'", ids({28})),
        where("ExactValueAll", "SPEC_FILE = 'All'", ids({28})),
        where("ExactAsteriskIsLiteral", "ALPHA_SIZE = '2*'", {}),
        where("ExactTrailingSpace", "Tag = 'HV-7 '", ids({20})),
        where("TwoCriteria", "SPEC_FILE = 'CS150' AND ALPHA_SIZE = '4'" + sort,
              ids({1, 2, 3, 7, 8, 9, 12, 25, 26})),
        // Null and empty text stay apart.
        where("EmptyTagOnlyEmptyText", "Tag = ''", ids({7})),
        where("EmptyDrawingName", "DWG_NAME = ''", ids({33})),
        where("LikeEmptyPattern", "Tag LIKE ''", ids({7})),
        where("LikeStarSkipsNull", "Tag LIKE '*'", ids({1, 2, 3, 4, 5, 6, 7, 8, 40000}, 10, 39)),
        where("TagIsNull", "Tag Is Null", ids({9})),
        // Pattern matches: each wildcard.
        where("LikeNoWildcardIsExact", "SPEC_FILE LIKE 'CS15'", {}),
        where("LikePrefix", "Tag LIKE 'P-1*'", ids({1, 2, 3})),
        where("LikeTrailingSpace", "Tag LIKE 'HV-7*'", ids({20, 21})),
        where("LikeTrailingSpaceKept", "Tag LIKE 'HV-7 *'", ids({20})),
        where("LikeContains", "SHORT_DESC LIKE '*val*'",
              ids({2, 3, 4, 5, 6, 19, 20, 21, 22, 23, 24, 32, 37})),
        where("LikeStartsControl", "SHORT_DESC LIKE 'control*'", ids({19, 37})),
        where("LikeOneCharacter", "Tag LIKE '?-1'", ids({1, 2, 3, 10, 12, 15, 25, 26, 27})),
        where("LikeOneDigit", "Tag LIKE 'P-#'", ids({1, 2, 3, 4})),
        where("LikeTwoDigits", "Tag LIKE 'P-##'", ids({13, 14, 30, 31, 34, 40000})),
        where("LikeHashIsDigit", "Tag LIKE 'X#1*'", {}),
        where("LikeBracketedHash", "Tag LIKE 'X[#]1'", ids({23})),
        where("LikeBracketIsClass", "Tag LIKE 'X[2]*'", {}),
        where("LikeBracketedBracket", "Tag LIKE 'X[[]2]'", ids({24})),
        where("LikeClass", "Tag LIKE '[FG]-1'", ids({15, 25})),
        where("LikeNegatedClass", "Tag LIKE '[!PT]-1'", ids({10, 15, 25, 26, 27})),
        where("LikeRange", "Tag LIKE '[a-c]-1'", ids({26, 27})),
        where("LikeNonAscii", "LONG_DESC LIKE '*ø50 RÜCK*'", ids({28})),
        where("LikeQuoteInside", "LINE_NUM LIKE '4\"-P-1001-*'", ids({1, 2, 7, 8, 9})),
        where("LikeTwoCriteria", "DWG_NAME LIKE 'AREA1.dwg' AND SHORT_DESC LIKE '*val*'" + sort,
              ids({2, 3, 4, 5, 6})),
        where("NotLike", "DWG_NAME = 'AREA5.dwg' AND Tag NOT LIKE 'P*'", ids({35, 36, 38, 39})),
        // Quotes in values, both kinds of literal.
        where("DoubledApostrophe", "DWG_NAME = 'O''Neil-4.dwg'", ids({27})),
        where("DoubleQuotedLiteral", "DWG_NAME = \"AREA3 \"\"north\"\".dwg\"", ids({25, 26})),
        where("DoubleQuotesInSingle", "DWG_NAME = 'AREA3 \"north\".dwg'", ids({25, 26})),
        // Numbers compare as numbers.
        where("NumberEquals", "UNIQUE_ID = 40000", ids({40000})),
        where("NumberGreater", "UNIQUE_ID > 35", ids({36, 37, 38, 39, 40000})),
        where("RealEquals", "main_nom = 2.5", ids({13})),
        // Table and column names in any spelling.
        make("TableLowerCase", "SELECT * FROM pipe WHERE tag = 'P-2'", ids({4})),
        make("TableBracketed", "SELECT * FROM [PIPE] WHERE [TAG] = 'P-2'", ids({4})),
        make("TrailingSemicolon", "SELECT * FROM PIPE WHERE Tag = 'P-2';", ids({4})),
        // Sorting ignores case; text sizes sort as text.
        ordered("SortedSearch", all + " WHERE DWG_NAME = 'AREA2.dwg'" + sort + ", Tag ASC",
                ids({22, 23, 24, 21, 20, 19, 15, 16, 13, 14, 18, 17})),
        ordered("SortIgnoresCase",
                all + " WHERE SHORT_DESC LIKE '*valve' ORDER BY SHORT_DESC ASC, "
                      "UNIQUE_ID",
                ids({22, 23, 24, 20, 21, 5, 6, 19, 37, 2, 3, 4, 32})),
        ordered("SortDescending", all + " WHERE DWG_NAME = 'AREA5.dwg' ORDER BY UNIQUE_ID DESC",
                ids({40000, 39, 38, 37, 36, 35, 34})),
        // DISTINCT lists, as the filter lists ask for them.
        ordered("DistinctSpecSorted", "SELECT DISTINCT SPEC_FILE FROM PIPE ORDER BY SPEC_FILE ASC",
                {"All", "CS150", "SS300"}, "Spec_File"),
        ordered("DistinctSizeSortedAsText",
                "SELECT DISTINCT ALPHA_SIZE FROM PIPE ORDER BY ALPHA_SIZE ASC",
                {"0.5", "0.75", "1", "10", "12", "2", "2.5", "3", "4", "4x2", "6", "8", "8x6", "9"},
                "ALPHA_SIZE"),
        ordered("DistinctTagSorted", "SELECT DISTINCT TAG FROM PIPE ORDER BY TAG ASC",
                {"<Null>", "",       "   ",     "All",    "B-1",  "C-1",   "E-9",  "F-1",
                 "F-2",    "FE-500", "FV-1203", "G-1",    "HV-7", "HV-7 ", "MV-1", "O'BRIEN-1",
                 "P-1",    "P-2",    "P-20",    "P-21",   "P-40", "P-41",  "P-50", "PV-500",
                 "R-1",    "R-2",    "RV-1",    "SB-500", "SP-1", "ST-1",  "T-1",  "T-50",
                 "T-51",   "V-10",   "V-101",   "X#1",    "X[2]"},
                "Tag"),
        ordered("DistinctDrawingSorted", "SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
                {"", "AREA1.dwg", "AREA2.dwg", "AREA3 \"north\".dwg", "AREA4.dwg", "AREA5.dwg",
                 "O'Neil-4.dwg"},
                "DWG_NAME"),
        make("DistinctIgnoresCase",
             "SELECT DISTINCT SHORT_DESC FROM PIPE WHERE DWG_NAME = 'AREA1.dwg'",
             {"PIPE", "GATE VALVE", "GLOBE VALVE", "CHECK VALVE", "ELBOW", "REDUCER", "TEE"},
             "SHORT_DESC"),
        // Further columns come along with * and are simply there.
        make("ExtraColumnsReadable", all + " WHERE UNIQUE_ID = 2", {"two records share this tag"},
             "NOTES"),
        // Rejected statements.
        failing("ApostropheInPattern", all + " WHERE Tag LIKE 'O'BRIEN-1*'", 3075),
        failing("DoubleQuoteInDeleteLiteral",
                "DELETE FROM pipe WHERE DWG_NAME = \"AREA3 \"north\".dwg\"", 3075, Run::Action),
        failing("MalformedPattern", all + " WHERE Tag LIKE 'X[2'", 3075),
        failing("MissingTable", "SELECT * FROM Valve", 3078),
        failing("MissingTableDistinct", "SELECT DISTINCT DWG_NAME FROM Pipes ORDER BY DWG_NAME ASC",
                3078),
        failing("UnknownColumn", all + " WHERE NoSuchColumn = 'x'", 3061),
        failing("SecondStatement", "SELECT * FROM PIPE; DELETE FROM PIPE", 3142, Run::Action),
        failing("EmptyCondition", all + " WHERE", 3075),
        failing("EmptyOrderBy", all + " ORDER BY", 3138),
        failing("EmptyColumnList", "SELECT FROM PIPE", 3141),
        failing("EmptyFromClause", "SELECT * FROM WHERE Tag = 'x'", 3131),
        failing("NotAStatement", "PRAGMA table_info(Pipe)", 3129),
    };
}

std::string asText(const Value& v) {
    if (v.isNull())
        return "<Null>";
    if (v.isInteger())
        return std::to_string(v.asInteger());
    std::ostringstream out;
    if (v.isReal())
        out << v.asReal();
    return v.isReal() ? out.str() : v.asText();
}

std::vector<std::string> folded(std::vector<std::string> list) {
    for (auto& s : list)
        s = JetLike::fold(s);
    return list;
}

} // namespace

const std::vector<EngineCase>& engineQueryCases() {
    static const std::vector<EngineCase> cases = buildCases();
    return cases;
}

std::vector<std::string> readField(Database& db, const std::string& sql, const std::string& field) {
    std::vector<std::string> out;
    auto rs = db.openRecordset(sql);
    EXPECT_EQ(rs->recordCount() == 0, rs->isEof()) << sql;
    for (; !rs->isEof(); rs->moveNext())
        out.push_back(asText(rs->fields(field)));
    rs->close();
    return out;
}

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EngineError& e) {
        return std::to_string(e.number()) + " " + e.description();
    }
    return "accepted";
}

void checkEngineCase(Database& db, const EngineCase& c) {
    SCOPED_TRACE(c.sql);
    std::vector<std::string> got;
    const std::string error = errorOf([&] {
        if (c.run == EngineCase::Run::Action)
            db.execute(c.sql);
        else
            got = folded(readField(db, c.sql, c.field));
    });
    if (c.error != 0) {
        EXPECT_EQ(error.substr(0, 5), std::to_string(c.error) + " ") << error;
        EXPECT_GT(error.size(), 5u);
        return;
    }
    ASSERT_EQ(error, "accepted");
    std::vector<std::string> want = folded(c.expected);
    if (c.order == EngineCase::Order::Any) {
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
    }
    EXPECT_EQ(got, want);
}

} // namespace korvalt::test_support
