#include "support/EngineCases.h"

#include "database/EngineError.h"
#include "database/JetLike.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <sstream>

namespace korvalt::test_support {

namespace {

using Run = EngineCase::Run;
using Order = EngineCase::Order;

std::vector<std::string> ids(std::initializer_list<std::int64_t> list) {
    std::vector<std::string> out;
    for (const auto id : list) {
        out.push_back(std::to_string(id));
    }
    return out;
}

std::vector<std::string> idRange(std::int64_t first, std::int64_t last,
                                 std::initializer_list<std::int64_t> more = {}) {
    std::vector<std::string> out;
    for (auto id = first; id <= last; ++id) {
        out.push_back(std::to_string(id));
    }
    for (const auto id : more) {
        out.push_back(std::to_string(id));
    }
    return out;
}

EngineCase query(std::string name, std::string sql, std::vector<std::string> expected) {
    EngineCase c;
    c.name = std::move(name);
    c.sql = std::move(sql);
    c.expected = std::move(expected);
    return c;
}

EngineCase ordered(std::string name, std::string sql, std::vector<std::string> expected,
                   std::string field = "UNIQUE_ID") {
    EngineCase c = query(std::move(name), std::move(sql), std::move(expected));
    c.order = Order::AsListed;
    c.field = std::move(field);
    return c;
}

EngineCase values(std::string name, std::string sql, std::string field,
                  std::vector<std::string> expected) {
    EngineCase c = query(std::move(name), std::move(sql), std::move(expected));
    c.field = std::move(field);
    return c;
}

EngineCase failing(std::string name, std::string sql, int error, Run run = Run::Query) {
    EngineCase c;
    c.name = std::move(name);
    c.sql = std::move(sql);
    c.error = error;
    c.run = run;
    return c;
}

std::vector<EngineCase> buildCases() {
    const std::string all = "SELECT * FROM PIPE";
    const std::string sort = " ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";
    std::vector<EngineCase> c;
    // Exact comparisons ignore case, compare whole values and never match Null.
    c.push_back(query("ExactSpec", all + " WHERE SPEC_FILE = 'CS150'",
                      idRange(1, 12, {25, 26, 27, 29, 30, 31, 32, 33, 34, 35, 37, 38, 39, 40000})));
    c.push_back(query("ExactSpecLowerCase", all + " WHERE SPEC_FILE = 'cs150'",
                      idRange(1, 12, {25, 26, 27, 29, 30, 31, 32, 33, 34, 35, 37, 38, 39, 40000})));
    c.push_back(query("ExactSpecOther", all + " WHERE SPEC_FILE = 'SS300'", idRange(13, 24, {36})));
    c.push_back(query("ExactIsNotPrefix", all + " WHERE SPEC_FILE = 'CS15'", {}));
    c.push_back(query("ExactTagAnyCase", all + " WHERE Tag = 'P-1'", ids({1, 2, 3})));
    c.push_back(
        query("ExactShortDescAnyCase", all + " WHERE SHORT_DESC = 'Gate Valve'", ids({2, 3})));
    c.push_back(query("ExactNonAscii", all + " WHERE SHORT_DESC = 'RÜCKSCHLAGVENTIL'", ids({28})));
    c.push_back(query("ExactValueAll", all + " WHERE SPEC_FILE = 'All'", ids({28})));
    c.push_back(query("ExactValueAllLower", all + " WHERE Tag = 'all'", ids({29})));
    c.push_back(query("ExactAsteriskIsLiteral", all + " WHERE ALPHA_SIZE = '2*'", {}));
    c.push_back(query("ExactTrailingSpace", all + " WHERE Tag = 'HV-7 '", ids({20})));
    c.push_back(query("TwoCriteria", all + " WHERE SPEC_FILE = 'CS150' AND ALPHA_SIZE = '4'" + sort,
                      ids({1, 2, 3, 7, 8, 9, 12, 25, 26})));
    // Null and empty text stay apart.
    c.push_back(query("EmptyTagOnlyEmptyText", all + " WHERE Tag = ''", ids({7})));
    c.push_back(query("EmptyLineNumOnlyEmptyText", all + " WHERE Line_Num = ''", ids({10})));
    c.push_back(query("EmptyDrawingName", all + " WHERE DWG_NAME = ''", ids({33})));
    c.push_back(query("LikeEmptyPattern", all + " WHERE Tag LIKE ''", ids({7})));
    std::vector<std::string> allButNullTag = idRange(1, 8, {40000});
    const std::vector<std::string> rest = idRange(10, 39);
    allButNullTag.insert(allButNullTag.end(), rest.begin(), rest.end());
    c.push_back(query("LikeStarSkipsNull", all + " WHERE Tag LIKE '*'", allButNullTag));
    c.push_back(query("TagIsNull", all + " WHERE Tag Is Null", ids({9})));
    c.push_back(query("LineNumIsNull", all + " WHERE LINE_NUM IS NULL", ids({12})));
    // Pattern matches: each wildcard.
    c.push_back(query("LikeNoWildcardIsExact", all + " WHERE SPEC_FILE LIKE 'CS15'", {}));
    c.push_back(query("LikePrefix", all + " WHERE Tag LIKE 'P-1*'", ids({1, 2, 3})));
    c.push_back(query("LikePrefixOfLonger", all + " WHERE Tag LIKE 'V-10*'", ids({5, 6})));
    c.push_back(query("LikePrefixLongest", all + " WHERE Tag LIKE 'V-101*'", ids({6})));
    c.push_back(query("LikeTrailingSpace", all + " WHERE Tag LIKE 'HV-7*'", ids({20, 21})));
    c.push_back(query("LikeTrailingSpaceKept", all + " WHERE Tag LIKE 'HV-7 *'", ids({20})));
    c.push_back(query("LikeContains", all + " WHERE SHORT_DESC LIKE '*val*'",
                      ids({2, 3, 4, 5, 6, 19, 20, 21, 22, 23, 24, 32, 37})));
    c.push_back(
        query("LikeStartsControl", all + " WHERE SHORT_DESC LIKE 'control*'", ids({19, 37})));
    c.push_back(query("LikeStrainer", all + " WHERE SHORT_DESC LIKE '*strainer*'", ids({17})));
    c.push_back(query("LikeTrap", all + " WHERE SHORT_DESC LIKE '*trap*'", ids({18})));
    c.push_back(query("LikeOneCharacter", all + " WHERE Tag LIKE '?-1'",
                      ids({1, 2, 3, 10, 12, 15, 25, 26, 27})));
    c.push_back(query("LikeOneDigit", all + " WHERE Tag LIKE 'P-#'", ids({1, 2, 3, 4})));
    c.push_back(
        query("LikeTwoDigits", all + " WHERE Tag LIKE 'P-##'", ids({13, 14, 30, 31, 34, 40000})));
    c.push_back(query("LikeHashIsDigit", all + " WHERE Tag LIKE 'X#1*'", {}));
    c.push_back(query("LikeBracketedHash", all + " WHERE Tag LIKE 'X[#]1'", ids({23})));
    c.push_back(query("LikeBracketIsClass", all + " WHERE Tag LIKE 'X[2]*'", {}));
    c.push_back(query("LikeBracketedBracket", all + " WHERE Tag LIKE 'X[[]2]'", ids({24})));
    c.push_back(query("LikeClass", all + " WHERE Tag LIKE '[FG]-1'", ids({15, 25})));
    c.push_back(
        query("LikeNegatedClass", all + " WHERE Tag LIKE '[!PT]-1'", ids({10, 15, 25, 26, 27})));
    c.push_back(query("LikeRange", all + " WHERE Tag LIKE '[a-c]-1'", ids({26, 27})));
    c.push_back(query("LikeNonAscii", all + " WHERE LONG_DESC LIKE '*ø50 RÜCK*'", ids({28})));
    c.push_back(query("LikeQuoteInside", all + " WHERE LINE_NUM LIKE '4\"-P-1001-*'",
                      ids({1, 2, 7, 8, 9})));
    c.push_back(query("LikeTwoCriteria",
                      all + " WHERE DWG_NAME LIKE 'AREA1.dwg' AND SHORT_DESC LIKE '*val*'" + sort,
                      ids({2, 3, 4, 5, 6})));
    c.push_back(query("NotLike", all + " WHERE DWG_NAME = 'AREA5.dwg' AND Tag NOT LIKE 'P*'",
                      ids({35, 36, 38, 39})));
    // Quotes in values, both kinds of literal.
    c.push_back(query("DoubledApostrophe", all + " WHERE DWG_NAME = 'O''Neil-4.dwg'", ids({27})));
    c.push_back(query("DoubleQuotedLiteral", all + " WHERE DWG_NAME = \"AREA3 \"\"north\"\".dwg\"",
                      ids({25, 26})));
    c.push_back(query("DoubleQuotesInSingle", all + " WHERE DWG_NAME = 'AREA3 \"north\".dwg'",
                      ids({25, 26})));
    // Numbers compare as numbers.
    c.push_back(query("NumberEquals", all + " WHERE UNIQUE_ID = 40000", ids({40000})));
    c.push_back(
        query("NumberGreater", all + " WHERE UNIQUE_ID > 35", ids({36, 37, 38, 39, 40000})));
    c.push_back(query("RealEquals", all + " WHERE main_nom = 2.5", ids({13})));
    // Table and column names in any spelling.
    c.push_back(query("TableLowerCase", "SELECT * FROM pipe WHERE Tag = 'P-2'", ids({4})));
    c.push_back(query("TableMixedCase", "SELECT * FROM Pipe WHERE tag = 'P-2'", ids({4})));
    c.push_back(query("TableBracketed", "SELECT * FROM [PIPE] WHERE [TAG] = 'P-2'", ids({4})));
    c.push_back(query("TrailingSemicolon", "SELECT * FROM PIPE WHERE Tag = 'P-2';", ids({4})));
    // Sorting ignores case; text sizes sort as text.
    c.push_back(ordered("SortedSearch", all + " WHERE DWG_NAME = 'AREA2.dwg'" + sort + ", Tag ASC",
                        ids({22, 23, 24, 21, 20, 19, 15, 16, 13, 14, 18, 17})));
    c.push_back(ordered("SortIgnoresCase",
                        all + " WHERE SHORT_DESC LIKE '*valve' ORDER BY SHORT_DESC ASC, UNIQUE_ID",
                        ids({22, 23, 24, 20, 21, 5, 6, 19, 37, 2, 3, 4, 32})));
    c.push_back(ordered("SortDescending",
                        all + " WHERE DWG_NAME = 'AREA5.dwg' ORDER BY UNIQUE_ID DESC",
                        ids({40000, 39, 38, 37, 36, 35, 34})));
    // DISTINCT lists, as the filter lists ask for them.
    c.push_back(ordered("DistinctSpecSorted",
                        "SELECT DISTINCT SPEC_FILE FROM PIPE ORDER BY SPEC_FILE ASC",
                        {"All", "CS150", "SS300"}, "Spec_File"));
    c.push_back(ordered(
        "DistinctSizeSortedAsText", "SELECT DISTINCT ALPHA_SIZE FROM PIPE ORDER BY ALPHA_SIZE ASC",
        {"0.5", "0.75", "1", "10", "12", "2", "2.5", "3", "4", "4x2", "6", "8", "8x6", "9"},
        "ALPHA_SIZE"));
    c.push_back(
        ordered("DistinctTagSorted", "SELECT DISTINCT TAG FROM PIPE ORDER BY TAG ASC",
                {"<Null>", "",       "   ",     "All",    "B-1",  "C-1",   "E-9",  "F-1",
                 "F-2",    "FE-500", "FV-1203", "G-1",    "HV-7", "HV-7 ", "MV-1", "O'BRIEN-1",
                 "P-1",    "P-2",    "P-20",    "P-21",   "P-40", "P-41",  "P-50", "PV-500",
                 "R-1",    "R-2",    "RV-1",    "SB-500", "SP-1", "ST-1",  "T-1",  "T-50",
                 "T-51",   "V-10",   "V-101",   "X#1",    "X[2]"},
                "Tag"));
    c.push_back(ordered("DistinctDrawingSorted",
                        "SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
                        {"", "AREA1.dwg", "AREA2.dwg", "AREA3 \"north\".dwg", "AREA4.dwg",
                         "AREA5.dwg", "O'Neil-4.dwg"},
                        "DWG_NAME"));
    c.push_back(values("DistinctDrawingUnsorted", "SELECT DISTINCT DWG_NAME FROM Pipe", "DWG_NAME",
                       {"", "AREA1.dwg", "AREA2.dwg", "AREA3 \"north\".dwg", "AREA4.dwg",
                        "AREA5.dwg", "O'Neil-4.dwg"}));
    c.push_back(
        values("DistinctIgnoresCase",
               "SELECT DISTINCT SHORT_DESC FROM PIPE WHERE DWG_NAME = 'AREA1.dwg'", "SHORT_DESC",
               {"PIPE", "GATE VALVE", "GLOBE VALVE", "CHECK VALVE", "ELBOW", "REDUCER", "TEE"}));
    c.push_back(
        values("DistinctLineNumbers",
               "SELECT DISTINCT LINE_NUM FROM Pipe WHERE SPEC_FILE = 'SS300'", "Line_Num",
               {"2.5\"-P-2001-SS300", "6\"-P-2002-SS300", "10\"-P-2003-SS300", "9\"-P-2004-SS300",
                "2\"-P-2005-SS300", "0.75\"-S-2006-SS300", "3\"-P-2007-SS300", "12\"-P-2008-SS300",
                "1\"-P-2009-SS300", "8\"-P-5002-CS150"}));
    // Further columns come along with * and are simply there.
    c.push_back(values("ExtraColumnsReadable", all + " WHERE UNIQUE_ID = 2", "NOTES",
                       {"two records share this tag"}));
    // Rejected statements.
    c.push_back(failing("ApostropheInPattern", all + " WHERE Tag LIKE 'O'BRIEN-1*'", 3075));
    c.push_back(failing("DoubleQuoteInDeleteLiteral",
                        "DELETE FROM pipe WHERE DWG_NAME = \"AREA3 \"north\".dwg\"", 3075,
                        Run::Action));
    c.push_back(failing("MalformedPattern", all + " WHERE Tag LIKE 'X[2'", 3075));
    c.push_back(failing("MissingTable", "SELECT * FROM Valve", 3078));
    c.push_back(failing("MissingTableDistinct",
                        "SELECT DISTINCT DWG_NAME FROM Pipes ORDER BY DWG_NAME ASC", 3078));
    c.push_back(failing("UnknownColumn", all + " WHERE NoSuchColumn = 'x'", 3061));
    c.push_back(
        failing("SecondStatement", "SELECT * FROM PIPE; DELETE FROM PIPE", 3142, Run::Action));
    c.push_back(failing("EmptyCondition", all + " WHERE", 3075));
    c.push_back(failing("EmptyOrderBy", all + " ORDER BY", 3138));
    c.push_back(failing("EmptyColumnList", "SELECT FROM PIPE", 3141));
    c.push_back(failing("EmptyFromClause", "SELECT * FROM WHERE Tag = 'x'", 3131));
    c.push_back(failing("NotAStatement", "PRAGMA table_info(Pipe)", 3129));
    return c;
}

std::string asText(const Value& v) {
    if (v.isNull()) {
        return "<Null>";
    }
    if (v.isInteger()) {
        return std::to_string(v.asInteger());
    }
    if (v.isReal()) {
        std::ostringstream out;
        out << v.asReal();
        return out.str();
    }
    return v.asText();
}

std::vector<std::string> folded(std::vector<std::string> list) {
    for (auto& s : list) {
        s = JetLike::fold(s);
    }
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
    while (!rs->isEof()) {
        out.push_back(asText(rs->fields(field)));
        rs->moveNext();
    }
    rs->close();
    return out;
}

void checkEngineCase(Database& db, const EngineCase& c) {
    SCOPED_TRACE(c.sql);
    if (c.error != 0) {
        try {
            if (c.run == EngineCase::Run::Action) {
                db.execute(c.sql);
            } else {
                readField(db, c.sql, c.field);
            }
            ADD_FAILURE() << "statement was accepted";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), c.error) << e.description();
            EXPECT_FALSE(e.description().empty());
        }
        return;
    }
    try {
        if (c.run == EngineCase::Run::Action) {
            db.execute(c.sql);
            return;
        }
        std::vector<std::string> got = folded(readField(db, c.sql, c.field));
        std::vector<std::string> want = folded(c.expected);
        if (c.order == EngineCase::Order::Any) {
            std::sort(got.begin(), got.end());
            std::sort(want.begin(), want.end());
        }
        EXPECT_EQ(got, want);
    } catch (const EngineError& e) {
        ADD_FAILURE() << "error " << e.number() << ": " << e.description();
    }
}

} // namespace korvalt::test_support
