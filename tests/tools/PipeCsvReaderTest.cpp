#include "PipeCsvReader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace korvalt {
namespace {

// A field written as the test expects it: quoted fields between <>, others bare.
std::string show(const PipeCsvReader::Field& f) {
    return f.quoted ? "<" + f.text + ">" : f.text;
}

std::vector<std::vector<std::string>> shown(const std::vector<PipeCsvReader::Row>& rows) {
    std::vector<std::vector<std::string>> out;
    for (const auto& row : rows) {
        out.emplace_back();
        for (const auto& f : row.fields)
            out.back().push_back(show(f));
    }
    return out;
}

TEST(PipeCsvReaderTest, SplitsFieldsAndKeepsWhetherTheyWereQuoted) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::vector<std::string>> expected;
    };
    const std::vector<Case> cases = {
        {"plain", "a,b,c\n1,2,3\n", {{"a", "b", "c"}, {"1", "2", "3"}}},
        {"Null, empty and blank", "x,,\"\",\"   \",   \n", {{"x", "", "<>", "<   >", "   "}}},
        {"trailing comma ends in a Null field", "a,\n", {{"a", ""}}},
        {"comma and doubled quotes inside quotes",
         "\"4\"\"-P-1001, CS150\",\"\"\"\"\n",
         {{"<4\"-P-1001, CS150>", "<\">"}}},
        {"line break inside quotes", "\"two\nlines\",x\r\ny\n", {{"<two\nlines>", "x"}, {"y"}}},
        {"CR LF", "a,b\r\n\"c\",d\r\n", {{"a", "b"}, {"<c>", "d"}}},
        {"no line end at the end", "a,\"b\"", {{"a", "<b>"}}},
        {"byte-order mark and empty lines skipped", "\xEF\xBB\xBFh\n\n\r\nv\n", {{"h"}, {"v"}}},
        {"lone CR is text", "a\rb,c\n", {{"a\rb", "c"}}},
        {"UTF-8 passes unchanged", "\"Ventil Ø50\",Rückschlag\n", {{"<Ventil Ø50>", "Rückschlag"}}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shown(PipeCsvReader::parse(c.text)), c.expected);
    }
}

TEST(PipeCsvReaderTest, RowsKnowTheLineTheyStartOn) {
    const auto rows = PipeCsvReader::parse("h1,h2\n\n\"multi\nline\",x\nlast,y\n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].line, 1u);
    EXPECT_EQ(rows[1].line, 3u);
    EXPECT_EQ(rows[2].line, 5u);
}

TEST(PipeCsvReaderTest, RejectsMalformedFieldsNamingTheLine) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a,b\nx,4\"-P\n", "line 2: quote inside an unquoted field"},
        {"a\n\"closed\"after\n", "line 2: text after a closing quote"},
        {"a\nb\n\"never\nclosed\n", "line 3: quoted field not closed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            PipeCsvReader::parse(c.text);
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

} // namespace
} // namespace korvalt
