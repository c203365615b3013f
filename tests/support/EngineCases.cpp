#include "support/EngineCases.h"

#include "database/EngineError.h"
#include "database/JetLike.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace korvalt::test_support {

namespace {

using Run = EngineCase::Run;
using Order = EngineCase::Order;

// Records that a condition on all of pipe-small.csv selects.
EngineCase where(const std::string& condition, std::vector<std::string> expected) {
    return {.sql = "SELECT * FROM PIPE WHERE " + condition, .expected = std::move(expected)};
}

EngineCase ordered(std::string sql, std::vector<std::string> expected,
                   std::string field = "UNIQUE_ID") {
    return {std::move(sql), Run::Query, std::move(field), std::move(expected), Order::AsListed};
}

EngineCase failing(std::string sql, int error, Run run = Run::Query) {
    return {.sql = std::move(sql), .run = run, .error = error};
}

std::vector<EngineCase> buildCases() {
    const std::string all = "SELECT * FROM PIPE";
    const std::string sort = " ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";
    const std::vector<std::string> cs150 = {"1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",    "9",
                                            "10", "11", "12", "25", "26", "27", "29", "30",   "31",
                                            "32", "33", "34", "35", "37", "38", "39", "40000"};
    return {
        // Exact comparisons ignore case, compare whole values and never match Null.
        where("SPEC_FILE = 'cs150'", cs150),
        where("SPEC_FILE = 'CS15'", {}),
        where("Tag = 'P-1'", {"1", "2", "3"}),
        where("SHORT_DESC = 'Gate Valve'", {"2", "3"}),
        where("SHORT_DESC = 'RÜCKSCHLAGVENTIL'", {"28"}),
        where("SPEC_FILE = 'All'", {"28"}),
        where("ALPHA_SIZE = '2*'", {}),
        where("Tag = 'HV-7 '", {"20"}),
        where("SPEC_FILE = 'CS150' AND ALPHA_SIZE = '4'" + sort,
              {"1", "2", "3", "7", "8", "9", "12", "25", "26"}),
        // Null and empty text stay apart.
        where("Tag = ''", {"7"}),
        where("DWG_NAME = ''", {"33"}),
        where("Tag LIKE ''", {"7"}),
        where("Tag LIKE '*'", // all but 9, whose tag is Null
              {"1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "10", "11", "12", "13", "14",
               "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27",
               "28", "29", "30", "31", "32", "33", "34", "35", "36", "37", "38", "39", "40000"}),
        where("Tag Is Null", {"9"}),
        // Pattern matches: each wildcard.
        where("SPEC_FILE LIKE 'CS15'", {}),
        where("Tag LIKE 'P-1*'", {"1", "2", "3"}),
        where("Tag LIKE 'HV-7*'", {"20", "21"}),
        where("Tag LIKE 'HV-7 *'", {"20"}),
        where("SHORT_DESC LIKE '*val*'",
              {"2", "3", "4", "5", "6", "19", "20", "21", "22", "23", "24", "32", "37"}),
        where("SHORT_DESC LIKE 'control*'", {"19", "37"}),
        where("Tag LIKE '?-1'", {"1", "2", "3", "10", "12", "15", "25", "26", "27"}),
        where("Tag LIKE 'P-#'", {"1", "2", "3", "4"}),
        where("Tag LIKE 'P-##'", {"13", "14", "30", "31", "34", "40000"}),
        where("Tag LIKE 'X#1*'", {}),
        where("Tag LIKE 'X[#]1'", {"23"}),
        where("Tag LIKE 'X[2]*'", {}),
        where("Tag LIKE 'X[[]2]'", {"24"}),
        where("Tag LIKE '[FG]-1'", {"15", "25"}),
        where("Tag LIKE '[!PT]-1'", {"10", "15", "25", "26", "27"}),
        where("Tag LIKE '[a-c]-1'", {"26", "27"}),
        where("LONG_DESC LIKE '*ø50 RÜCK*'", {"28"}),
        where("LINE_NUM LIKE '4\"-P-1001-*'", {"1", "2", "7", "8", "9"}),
        where("DWG_NAME LIKE 'AREA1.dwg' AND SHORT_DESC LIKE '*val*'" + sort,
              {"2", "3", "4", "5", "6"}),
        where("DWG_NAME = 'AREA5.dwg' AND Tag NOT LIKE 'P*'", {"35", "36", "38", "39"}),
        // Quotes in values, both kinds of literal.
        where("DWG_NAME = 'O''Neil-4.dwg'", {"27"}),
        where("DWG_NAME = \"AREA3 \"\"north\"\".dwg\"", {"25", "26"}),
        where("DWG_NAME = 'AREA3 \"north\".dwg'", {"25", "26"}),
        // Numbers compare as numbers.
        where("UNIQUE_ID = 40000", {"40000"}),
        where("UNIQUE_ID > 35", {"36", "37", "38", "39", "40000"}),
        where("main_nom = 2.5", {"13"}),
        // Table and column names in any spelling.
        {.sql = "SELECT * FROM pipe WHERE tag = 'P-2'", .expected = {"4"}},
        {.sql = "SELECT * FROM [PIPE] WHERE [TAG] = 'P-2'", .expected = {"4"}},
        {.sql = "SELECT * FROM PIPE WHERE Tag = 'P-2';", .expected = {"4"}},
        // Sorting ignores case; text sizes sort as text.
        ordered(all + " WHERE DWG_NAME = 'AREA2.dwg'" + sort + ", Tag ASC",
                {"22", "23", "24", "21", "20", "19", "15", "16", "13", "14", "18", "17"}),
        ordered(all + " WHERE SHORT_DESC LIKE '*valve' ORDER BY SHORT_DESC ASC, UNIQUE_ID",
                {"22", "23", "24", "20", "21", "5", "6", "19", "37", "2", "3", "4", "32"}),
        ordered(all + " WHERE DWG_NAME = 'AREA5.dwg' ORDER BY UNIQUE_ID DESC",
                {"40000", "39", "38", "37", "36", "35", "34"}),
        // DISTINCT lists, as the filter lists ask for them.
        ordered("SELECT DISTINCT SPEC_FILE FROM PIPE ORDER BY SPEC_FILE ASC",
                {"All", "CS150", "SS300"}, "Spec_File"),
        ordered("SELECT DISTINCT ALPHA_SIZE FROM PIPE ORDER BY ALPHA_SIZE ASC",
                {"0.5", "0.75", "1", "10", "12", "2", "2.5", "3", "4", "4x2", "6", "8", "8x6", "9"},
                "ALPHA_SIZE"),
        ordered("SELECT DISTINCT TAG FROM PIPE ORDER BY TAG ASC",
                {"<Null>", "",       "   ",     "All",    "B-1",  "C-1",   "E-9",  "F-1",
                 "F-2",    "FE-500", "FV-1203", "G-1",    "HV-7", "HV-7 ", "MV-1", "O'BRIEN-1",
                 "P-1",    "P-2",    "P-20",    "P-21",   "P-40", "P-41",  "P-50", "PV-500",
                 "R-1",    "R-2",    "RV-1",    "SB-500", "SP-1", "ST-1",  "T-1",  "T-50",
                 "T-51",   "V-10",   "V-101",   "X#1",    "X[2]"},
                "Tag"),
        ordered("SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
                {"", "AREA1.dwg", "AREA2.dwg", "AREA3 \"north\".dwg", "AREA4.dwg", "AREA5.dwg",
                 "O'Neil-4.dwg"},
                "DWG_NAME"),
        {.sql = "SELECT DISTINCT SHORT_DESC FROM PIPE WHERE DWG_NAME = 'AREA1.dwg'",
         .field = "SHORT_DESC",
         .expected = {"PIPE", "GATE VALVE", "GLOBE VALVE", "CHECK VALVE", "ELBOW", "REDUCER",
                      "TEE"}},
        // Further columns come along with * and are simply there.
        {.sql = all + " WHERE UNIQUE_ID = 2",
         .field = "NOTES",
         .expected = {"two records share this tag"}},
        // Rejected statements.
        failing(all + " WHERE Tag LIKE 'O'BRIEN-1*'", 3075),
        failing("DELETE FROM pipe WHERE DWG_NAME = \"AREA3 \"north\".dwg\"", 3075, Run::Action),
        failing(all + " WHERE Tag LIKE 'X[2'", 3075),
        failing("SELECT * FROM Valve", 3078),
        failing("SELECT DISTINCT DWG_NAME FROM Pipes ORDER BY DWG_NAME ASC", 3078),
        failing(all + " WHERE NoSuchColumn = 'x'", 3061),
        failing("SELECT * FROM PIPE; DELETE FROM PIPE", 3142, Run::Action),
        failing(all + " WHERE", 3075),
        failing(all + " ORDER BY", 3138),
        failing("SELECT FROM PIPE", 3141),
        failing("SELECT * FROM WHERE Tag = 'x'", 3131),
        failing("PRAGMA table_info(Pipe)", 3129),
    };
}

std::string asText(const Value& v) {
    if (v.isNull())
        return "<Null>";
    if (v.isInteger())
        return std::to_string(v.asInteger());
    if (!v.isReal())
        return v.asText();
    std::ostringstream out;
    out << v.asReal();
    return out.str();
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
        EXPECT_TRUE(error.starts_with(std::to_string(c.error) + " ") && error.size() > 5) << error;
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

std::string filledIn(std::string text,
                     const std::vector<std::pair<std::string, std::string>>& marks) {
    for (const auto& [mark, value] : marks)
        for (auto at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    return text;
}

} // namespace korvalt::test_support
