#include "database/Database.h"
#include "database/EngineError.h"
#include "database/PipeSchema.h"
#include "database/SqliteDatabase.h"
#include "support/EngineCases.h"
#include "support/PipeCsv.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <random>
#include <string>

namespace korvalt {
namespace {

using test_support::EngineCase;

const std::string kCsv = std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv";

// A fresh SQLite copy of the small fixture in its own folder.
class PipeFile {
public:
    PipeFile() : m_path(m_dir.filePath("pipe.db").toStdString()) {
        test_support::writePipeSqlite(m_path, test_support::loadPipeCsv(kCsv));
    }
    const std::string& path() const { return m_path; }
    std::unique_ptr<Database> open() const { return OpenDatabase(m_path); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};

std::size_t countRecords(Database& db) {
    return test_support::readField(db, "SELECT * FROM PIPE", "UNIQUE_ID").size();
}

class SqliteEngineCases : public ::testing::TestWithParam<EngineCase> {
protected:
    static void SetUpTestSuite() { s_file = std::make_unique<PipeFile>(); }
    static void TearDownTestSuite() { s_file.reset(); }
    static std::unique_ptr<PipeFile> s_file;
};
std::unique_ptr<PipeFile> SqliteEngineCases::s_file;

TEST_P(SqliteEngineCases, AnswersAsWorkedOut) {
    const auto db = s_file->open();
    test_support::checkEngineCase(*db, GetParam());
    // No case may change the data, accepted or not.
    EXPECT_EQ(countRecords(*db), 40u);
}

INSTANTIATE_TEST_SUITE_P(PipeSmall, SqliteEngineCases,
                         ::testing::ValuesIn(test_support::engineQueryCases()),
                         [](const auto& param) { return param.param.name; });

TEST(PipeCsv, ReadsNullsEmptyTextsAndNumbers) {
    const auto rows = test_support::loadPipeCsv(kCsv);
    ASSERT_EQ(rows.size(), 40u);
    ASSERT_EQ(rows[0].size(), 15u);
    EXPECT_EQ(rows[0][11], Value::integer(1));
    EXPECT_EQ(rows[0][2], Value::text("4\"-P-1001-CS150"));
    EXPECT_EQ(rows[0][14], Value::null());      // NOTES left out
    EXPECT_EQ(rows[6][8], Value::text(""));     // record 7: empty tag
    EXPECT_EQ(rows[7][8], Value::text("   "));  // record 8: blank tag
    EXPECT_EQ(rows[8][8], Value::null());       // record 9: no tag
    EXPECT_EQ(rows[11][2], Value::null());      // record 12: no line number
    EXPECT_EQ(rows[12][6], Value::real(2.5));   // record 13: main_nom
    EXPECT_EQ(rows[12][9], Value::real(250.5)); // LENGTH
    EXPECT_EQ(rows[24][0], Value::text("AREA3 \"north\".dwg"));
    EXPECT_EQ(rows[33][11], Value::integer(40000));
}

TEST(SqliteEngine, FieldsKeepTheirTypes) {
    PipeFile file;
    const auto db = file.open();
    auto rs = db->openRecordset("SELECT * FROM PIPE WHERE UNIQUE_ID = 13");
    ASSERT_FALSE(rs->isEof());
    EXPECT_EQ(rs->fields("main_nom"), Value::real(2.5));
    EXPECT_EQ(rs->fields("LENGTH"), Value::real(250.5));
    EXPECT_EQ(rs->fields("unique_id"), Value::integer(13));
    EXPECT_EQ(rs->fields("Tag"), Value::text("P-20"));
    EXPECT_EQ(rs->fields("TAG"), Value::text("P-20"));
    EXPECT_EQ(rs->fields("COMP_ID"), Value::text("C13"));
    EXPECT_EQ(rs->fields("NOTES"), Value::null());
    rs = db->openRecordset("SELECT * FROM PIPE WHERE UNIQUE_ID = 9 OR UNIQUE_ID = 7 ORDER BY "
                           "UNIQUE_ID");
    EXPECT_EQ(rs->fields("Tag"), Value::text(""));
    rs->moveNext();
    EXPECT_EQ(rs->fields("Tag"), Value::null());

    // Read by position: text in place, everything else as its value; names
    // are matched as fields() matches them, non-ASCII letters folded too.
    rs = db->openRecordset("SELECT Tag, main_nom AS [\xC5\xBFize], UNIQUE_ID, NOTES, "
                           "CAST('ab' AS BLOB) AS B FROM PIPE WHERE UNIQUE_ID = 13");
    EXPECT_EQ(rs->fieldPosition("tAG"), 0);
    EXPECT_EQ(rs->fieldPosition("SIZE"), 1);
    EXPECT_EQ(rs->fieldPosition("\xC5\xBFIZE"), 1);
    EXPECT_EQ(rs->fieldPosition("Tag "), -1);
    EXPECT_EQ(rs->fields("size"), Value::real(2.5));
    EXPECT_EQ(rs->textAt(0), std::optional<std::string_view>("P-20"));
    EXPECT_EQ(rs->textAt(1), std::nullopt);
    EXPECT_EQ(rs->valueAt(1), Value::real(2.5));
    EXPECT_EQ(rs->valueAt(2), Value::integer(13));
    EXPECT_EQ(rs->valueAt(3), Value::null());
    EXPECT_EQ(rs->textAt(4), std::optional<std::string_view>("ab"));
    EXPECT_EQ(rs->valueAt(4), Value::text("ab"));
    rs->moveNext();
    EXPECT_THROW(rs->textAt(0), EngineError);
    EXPECT_THROW(rs->valueAt(0), EngineError);
}

TEST(SqliteEngine, RecordsetReadsForwardOnce) {
    PipeFile file;
    const auto db = file.open();
    auto empty = db->openRecordset("SELECT * FROM PIPE WHERE Tag = 'nothing'");
    EXPECT_TRUE(empty->isEof());
    EXPECT_EQ(empty->recordCount(), 0);

    auto rs = db->openRecordset("SELECT * FROM PIPE WHERE Tag LIKE 'P-1*' ORDER BY UNIQUE_ID");
    EXPECT_FALSE(rs->isEof());
    EXPECT_GT(rs->recordCount(), 0);
    try {
        rs->fields("NoSuchField");
        ADD_FAILURE() << "unknown field accepted";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), 3265);
    }
    for (int id = 1; id <= 3; ++id) {
        ASSERT_FALSE(rs->isEof());
        EXPECT_EQ(rs->fields("UNIQUE_ID"), Value::integer(id));
        rs->moveNext();
    }
    EXPECT_TRUE(rs->isEof());
    EXPECT_THROW(rs->moveNext(), EngineError);
    EXPECT_THROW(rs->fields("Tag"), EngineError);
    rs->close();
    EXPECT_TRUE(rs->isEof());
}

TEST(SqliteEngine, RecordsetOutlivesItsDatabase) {
    PipeFile file;
    auto db = file.open();
    auto rs = db->openRecordset("SELECT * FROM PIPE WHERE SPEC_FILE = 'SS300' ORDER BY UNIQUE_ID");
    db.reset();
    int count = 0;
    for (; !rs->isEof(); rs->moveNext()) {
        ++count;
    }
    EXPECT_EQ(count, 13);
}

struct DeleteCase {
    const char* sql;
    std::size_t removed;
    const char* gone; // a condition no remaining record may satisfy
};

void PrintTo(const DeleteCase& c, std::ostream* os) {
    *os << c.sql;
}

class SqliteDelete : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(SqliteDelete, RemovesExactlyTheDrawingsRecords) {
    PipeFile file;
    const auto db = file.open();
    db->execute(GetParam().sql);
    EXPECT_EQ(countRecords(*db), 40u - GetParam().removed);
    const std::string check = std::string("SELECT * FROM PIPE WHERE ") + GetParam().gone;
    EXPECT_TRUE(test_support::readField(*db, check, "UNIQUE_ID").empty());
    // The change is in the file, not only in this connection.
    const auto again = file.open();
    EXPECT_EQ(countRecords(*again), 40u - GetParam().removed);
}

const DeleteCase kDeletes[] = {
    {"DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"", 12, "UNIQUE_ID <= 12"},
    {"DELETE FROM pipe WHERE DWG_NAME = \"area1.DWG\"", 12, "UNIQUE_ID <= 12"},
    {"DELETE FROM pipe WHERE DWG_NAME = \"O'Neil-4.dwg\"", 1, "UNIQUE_ID = 27"},
    {"DELETE FROM pipe WHERE DWG_NAME = 'AREA3 \"north\".dwg'", 2, "UNIQUE_ID IN (25, 26)"},
    {"DELETE FROM pipe WHERE DWG_NAME = \"\"", 1, "UNIQUE_ID = 33"},
    {"DELETE * FROM Pipe WHERE Tag = 'p-50'", 2, "UNIQUE_ID IN (34, 40000)"},
    {"DELETE FROM pipe WHERE DWG_NAME = \"AREA9.dwg\"", 0, "UNIQUE_ID = 0"},
};
INSTANTIATE_TEST_SUITE_P(Drawings, SqliteDelete, ::testing::ValuesIn(kDeletes));

int errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EngineError& e) {
        return e.number();
    }
    return 0;
}

TEST(SqliteEngine, QueriesAndActionsAreNotInterchangeable) {
    PipeFile file;
    const auto db = file.open();
    EXPECT_EQ(errorOf([&] { db->execute("SELECT * FROM PIPE"); }), 3065);
    EXPECT_EQ(errorOf([&] { db->openRecordset("DELETE FROM PIPE"); }), 3219);
    EXPECT_EQ(countRecords(*db), 40u);
}

TEST(SqliteEngine, ReadOnlyDatabaseRefusesChanges) {
    const auto db = SqliteDatabase::openMemory("imported.mdb");
    ASSERT_EQ(sqlite3_exec(db->handle(), pipe_schema::kCreatePipeTable, nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db->handle(),
                           "INSERT INTO Pipe (DWG_NAME, Tag, UNIQUE_ID) VALUES ('A.dwg', 'T', 1)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    db->setReadOnly("Changes are not available for this file.");
    EXPECT_EQ(db->path(), "imported.mdb");
    try {
        db->execute("DELETE FROM pipe WHERE DWG_NAME = \"A.dwg\"");
        ADD_FAILURE() << "delete accepted";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), 3027);
        EXPECT_NE(e.description().find("Changes are not available"), std::string::npos);
    }
    EXPECT_EQ(errorOf([&] { db->execute("UPDATE Pipe SET Tag = 'x'"); }), 3027);
    EXPECT_EQ(test_support::readField(*db, "SELECT * FROM Pipe WHERE Tag = 't'", "DWG_NAME"),
              std::vector<std::string>{"A.dwg"});
}

TEST(SqliteEngine, LockedFileReportsLocked) {
    PipeFile file;
    const auto db = file.open();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(errorOf([&] { db->execute("DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\""); }),
              3218);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    db->execute("DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"");
    EXPECT_EQ(countRecords(*db), 28u);
}

// Garbage in must come out as an EngineError (or a result), never as a crash,
// another exception, or a change made by a statement that was rejected.
TEST(SqliteEngine, SurvivesGarbageStatements) {
    PipeFile file;
    const auto db = file.open();
    const std::vector<std::string> pieces = {"SELECT", "DELETE", "DISTINCT",
                                             "*",      "FROM",   "PIPE",
                                             "Pipe",   "WHERE",  "Tag",
                                             "=",      "LIKE",   "'P-1*'",
                                             "\"x\"",  "'",      "\"",
                                             "[",      "]",      "(",
                                             ")",      ";",      ",",
                                             "ORDER",  "BY",     "ASC",
                                             "AND",    "OR",     "NOT",
                                             "#",      "?",      "'[a-'",
                                             "1",      "--",     "/*",
                                             "*/",     "&",      "<>",
                                             "IN",     "NULL",   "Is",
                                             ".",      "[Tag]",  "UNIQUE_ID",
                                             "'Ø'",    "DROP",   "TABLE",
                                             "x",      "\t",     "é",
                                             "'a''b'", "ESCAPE", "SELECT DISTINCT TAG FROM PIPE"};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 3000; ++round) {
        std::string sql = round % 2 == 0 ? "SELECT * FROM PIPE WHERE " : "";
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            if (round % 7 == 0) {
                sql += static_cast<char>(byte(random));
            } else {
                sql += pieces[pick(random)];
                sql += ' ';
            }
        }
        try {
            if (round % 3 == 0) {
                db->execute(sql);
            } else {
                auto rs = db->openRecordset(sql);
                for (int rows = 0; !rs->isEof() && rows < 100; ++rows) {
                    rs->moveNext();
                }
            }
        } catch (const EngineError& e) {
            EXPECT_FALSE(e.description().empty()) << sql;
        }
    }
    // Only whole DELETE statements from the pieces can remove records; the
    // table itself must still be there and readable.
    EXPECT_NO_THROW(countRecords(*db));
}

} // namespace
} // namespace korvalt
