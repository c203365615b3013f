#include "SampleDatabaseBuilder.h"

#include "database/PipeSchema.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvalt {
namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a query on a database file and returns each row as its values joined
// by '|', with Null shown as "<null>" and every value prefixed by its type.
std::vector<std::string> query(const std::string& dbPath, const std::string& sql) {
    sqlite3* raw = nullptr;
    EXPECT_EQ(sqlite3_open_v2(dbPath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
    sqlite3_stmt* rawStmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &rawStmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db.get());
        return {};
    }
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(rawStmt, sqlite3_finalize);
    std::vector<std::string> rows;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(stmt.get()); ++c) {
            if (c > 0)
                row += "|";
            switch (sqlite3_column_type(stmt.get(), c)) {
            case SQLITE_NULL:
                row += "<null>";
                break;
            case SQLITE_INTEGER:
                row += "i:" + std::to_string(sqlite3_column_int64(stmt.get(), c));
                break;
            case SQLITE_FLOAT:
                row += "r:" + std::to_string(sqlite3_column_double(stmt.get(), c));
                break;
            default:
                row +=
                    "t:" +
                    std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), c)));
            }
        }
        rows.push_back(row);
    }
    return rows;
}

class SampleDatabaseBuilderTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const {
        return (fs::path(dir_.path().toStdString()) / name).string();
    }
    std::vector<std::string> dirEntries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.path().toStdString()))
            names.insert(e.path().filename().string());
        return {names.begin(), names.end()};
    }
    std::size_t build(const std::string& csv, const std::string& db) {
        return SampleDatabaseBuilder::build(PipeCsvReader::parse(csv), db);
    }

    QTemporaryDir dir_;
};

// Header in another order and case, with a column the table does not have.
const std::string kHeader = "unique_id,dwg_name,LONG_DESC,Line_Num,Spec_File,DB_CODE,ALPHA_SIZE,"
                            "main_nom,red_nom,TAG,LENGTH,SHORT_DESC,NOTES\n";

TEST_F(SampleDatabaseBuilderTest, StoresNullEmptyTextAndNumbersApart) {
    const std::string db = path("pipe.db");
    const std::string csv =
        kHeader +
        "1,\"A.dwg\",\"PIPE A106-B, SCH 40\",\"4\"\"-P-1001-CS150\",\"CS150\",\"PIP0001\","
        "\"4\",4,0,\"P-1\",120.5,\"PIPE\",\"ignored\"\n"
        "2,\"A.dwg\",\"Ventil Ø50\",,\"CS150\",\"VLV0001\",\"1/2\",0.5,,\"\",,\"GATE VALVE\",\n"
        "40000,,\"\",\"   \",\"\",VLV0002,10,\"10\",-2.25e1,   ,0,\"\",\n";
    EXPECT_EQ(build(csv, db), 3u);

    EXPECT_EQ(query(db, "SELECT * FROM Pipe ORDER BY UNIQUE_ID"),
              (std::vector<std::string>{
                  "t:A.dwg|t:PIPE A106-B, SCH 40|t:4\"-P-1001-CS150|t:CS150|t:PIP0001|t:4|"
                  "r:4.000000|r:0.000000|t:P-1|r:120.500000|t:PIPE|i:1",
                  "t:A.dwg|t:Ventil Ø50|<null>|t:CS150|t:VLV0001|t:1/2|r:0.500000|<null>|t:|"
                  "<null>|t:GATE VALVE|i:2",
                  "<null>|t:|t:   |t:|t:VLV0002|t:10|r:10.000000|r:-22.500000|t:   |"
                  "r:0.000000|t:|i:40000",
              }));
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"pipe.db"});
}

TEST_F(SampleDatabaseBuilderTest, CreatesTheTableOfOurFileFormat) {
    const std::string db = path("pipe.db");
    EXPECT_EQ(build(kHeader, db), 0u);
    EXPECT_EQ(
        query(db, "SELECT type, name, sql FROM sqlite_master"),
        std::vector<std::string>{std::string("t:table|t:Pipe|t:") + pipe_schema::kCreatePipeTable});
}

TEST_F(SampleDatabaseBuilderTest, ReplacesAnExistingFileWhole) {
    const std::string db = path("pipe.db");
    build(kHeader + "1,,,,,,,,,,,,\n2,,,,,,,,,,,,\n", db);
    EXPECT_EQ(build(kHeader + "7,,,,,,,,,,,,\n", db), 1u);
    EXPECT_EQ(query(db, "SELECT UNIQUE_ID FROM Pipe"), std::vector<std::string>{"i:7"});
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"pipe.db"});
}

TEST_F(SampleDatabaseBuilderTest, RefusesBadInputAndKeepsTheOldFile) {
    struct Case {
        std::string csv;
        std::string message;
    };
    const std::string row = ",,,,,,,,,,,\n";
    const std::vector<Case> cases = {
        {"DWG_NAME,Tag\n", "header lacks column LONG_DESC"},
        {kHeader.substr(0, kHeader.size() - 1) + ",tag\n", "header names column Tag twice"},
        {kHeader + "1,,,,,,,,,,,\n", "line 2: 12 fields, header has 13"},
        {kHeader + "1,,,,,,,4 1/2,,,,,\n", "line 2, column main_nom: not a number: \"4 1/2\""},
        {kHeader + "1,,,,,,,\"\",,,,,\n", "line 2, column main_nom: not a number: \"\""},
        {kHeader + "1,,,,,,,nan,,,,,\n", "line 2, column main_nom: not a number: \"nan\""},
        {kHeader + "2,,,,,,,,,,,,\n1.5,,,,,,,,,,,,\n",
         "line 3, column UNIQUE_ID: not a whole number: \"1.5\""},
    };
    const std::string db = path("pipe.db");
    build(kHeader + "9,,,,,,,,,,,,\n", db);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.csv);
        try {
            build(c.csv, db);
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(query(db, "SELECT UNIQUE_ID FROM Pipe"), std::vector<std::string>{"i:9"});
        EXPECT_EQ(dirEntries(), std::vector<std::string>{"pipe.db"});
    }
    EXPECT_THROW(SampleDatabaseBuilder::build({}, db), std::runtime_error);
}

TEST_F(SampleDatabaseBuilderTest, ConvertsTheSmallFixture) {
    const std::string db = path("small.db");
    EXPECT_EQ(build(readAll(KORVALT_FIXTURES_DIR "/pipe-small.csv"), db), 40u);
    EXPECT_EQ(
        query(db, "SELECT UNIQUE_ID, quote(Tag) FROM Pipe WHERE UNIQUE_ID IN (7, 8, 9, 40000)"
                  " ORDER BY UNIQUE_ID"),
        (std::vector<std::string>{"i:7|t:''", "i:8|t:'   '", "i:9|t:NULL", "i:40000|t:'P-50'"}));
    EXPECT_EQ(query(db, "SELECT DWG_NAME, Line_Num FROM Pipe WHERE UNIQUE_ID IN (12, 25)"
                        " ORDER BY UNIQUE_ID"),
              (std::vector<std::string>{"t:AREA1.dwg|<null>",
                                        "t:AREA3 \"north\".dwg|t:4\"-P-3001-CS150"}));
}

// The shipped sample: what the program's reports are tried on first.
TEST_F(SampleDatabaseBuilderTest, ShippedSampleHoldsTheCasesTheReportsLookFor) {
    const std::string csv = readAll(KORVALT_SAMPLE_DIR "/pipe-sample.csv");
    const auto rows = PipeCsvReader::parse(csv);
    ASSERT_FALSE(rows.empty());
    std::vector<std::string> header;
    for (const auto& f : rows.front().fields)
        header.push_back(f.text);
    EXPECT_EQ(header, std::vector<std::string>(std::begin(pipe_schema::kColumns),
                                               std::end(pipe_schema::kColumns)));

    const std::string db = path("sample.db");
    const std::size_t count = SampleDatabaseBuilder::build(rows, db);
    EXPECT_GE(count, 300u);
    EXPECT_LE(count, 400u);

    auto one = [&](const std::string& sql) {
        const auto result = query(db, sql);
        return result.size() == 1 ? result.front() : std::string("?");
    };
    EXPECT_EQ(one("SELECT count(DISTINCT UNIQUE_ID) = count(*) FROM Pipe"), "i:1");
    EXPECT_EQ(one("SELECT count(*) FROM Pipe WHERE UNIQUE_ID IS NULL OR DWG_NAME IS NULL"
                  " OR typeof(main_nom) <> 'real' OR typeof(LENGTH) <> 'real'"),
              "i:0");
    EXPECT_EQ(one("SELECT count(DISTINCT DWG_NAME) BETWEEN 8 AND 12 FROM Pipe"), "i:1");
    EXPECT_EQ(one("SELECT count(DISTINCT Spec_File) >= 3 FROM Pipe"), "i:1");
    // The filter lists take a Null in their columns for an error, and the
    // sample is what a first start opens: it has none there.
    for (const char* column : {"DWG_NAME", "Spec_File", "SHORT_DESC", "LONG_DESC", "Tag", "DB_CODE",
                               "Line_Num", "ALPHA_SIZE"}) {
        SCOPED_TRACE(column);
        EXPECT_EQ(one(std::string("SELECT count(*) FROM Pipe WHERE ") + column + " IS NULL"),
                  "i:0");
    }
    // Missing tags and line numbers, empty and blank.
    for (const char* column : {"Tag", "Line_Num"}) {
        SCOPED_TRACE(column);
        const std::string c = column;
        EXPECT_EQ(one("SELECT count(*) > 0 FROM Pipe WHERE " + c + " = ''"), "i:1");
        EXPECT_EQ(
            one("SELECT count(*) > 0 FROM Pipe WHERE " + c + " <> '' AND trim(" + c + ") = ''"),
            "i:1");
    }
    // Duplicated tags, tags that begin other tags, tags that differ only in case.
    EXPECT_EQ(one("SELECT count(*) >= 3 FROM (SELECT Tag FROM Pipe WHERE trim(Tag) <> ''"
                  " GROUP BY Tag COLLATE BINARY HAVING count(*) > 1)"),
              "i:1");
    EXPECT_EQ(one("SELECT count(*) > 0 FROM Pipe a JOIN Pipe b ON length(b.Tag) > length(a.Tag)"
                  " AND substr(b.Tag, 1, length(a.Tag)) = a.Tag COLLATE BINARY"
                  " WHERE trim(a.Tag) <> ''"),
              "i:1");
    EXPECT_EQ(one("SELECT count(*) > 0 FROM Pipe a JOIN Pipe b ON a.Tag = b.Tag COLLATE NOCASE"
                  " AND a.Tag <> b.Tag COLLATE BINARY"),
              "i:1");
}

} // namespace
} // namespace korvalt
