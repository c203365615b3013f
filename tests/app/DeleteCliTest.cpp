#include "app/DeleteCli.h"
#include "database/Database.h"
#include "startup/Module1.h"
#include "support/ProcessFixture.h"

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace korvalt::testing {
namespace {

using Args = std::vector<std::string>;

struct CliResult {
    int code;
    std::string out;
    std::string err;
};

class DeleteCliTest : public ProcessFixture {
protected:
    void SetUp() override {
        ProcessFixture::SetUp();
        // 9 records: AREA1.dwg has 4 (the even numbers), AREA2.dwg 5.
        database = makePipeDatabase("pipe.db", 9);
    }
    CliResult cli(const Args& args, const std::string& input = "") {
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        const int code = DeleteCli::run(args, in, out, err);
        EXPECT_FALSE(gDatabase);
        EXPECT_FALSE(frmTaviDatabaseSlot.loaded());
        SetToolkit(&fake);
        return {code, out.str(), err.str()};
    }
    Args deleting(const std::string& drawing, bool yes) const {
        Args args = {"--database", database, "--drawing", drawing};
        if (yes)
            args.push_back("--yes");
        return args;
    }
    // Records per drawing, read afresh from the file.
    static std::map<std::string, int> drawings(const std::string& path) {
        std::map<std::string, int> counts;
        const auto db = OpenDatabase(path);
        for (auto records = db->openRecordset("SELECT DWG_NAME FROM Pipe"); !records->isEof();
             records->moveNext())
            ++counts[records->fields("DWG_NAME").isText() ? records->fields("DWG_NAME").asText()
                                                          : "(Null)"];
        return counts;
    }
    static std::map<std::string, int> full() { return {{"AREA1.dwg", 4}, {"AREA2.dwg", 5}}; }

    std::string database;
};

TEST_F(DeleteCliTest, WrongCommandLinesExitWithTwo) {
    const struct {
        Args args;
        const char* message;
    } cases[] = {
        {{}, "--database is required"},
        {{"--drawing", "AREA1.dwg", "--yes"}, "--database is required"},
        {{"--database", "x.mdb"}, "--drawing is required"},
        {{"--database", "x.mdb", "--drawing"}, "--drawing needs a value"},
        {{"--database=x.mdb", "--drawing="}, "--drawing needs the model file's name"},
        {{"--database", "x.mdb", "--drawing", "A", "--force"}, "unknown option --force"},
        {{"--database", "x.mdb", "--drawing", "A", "B"}, "unexpected argument 'B'"},
        {{"--database", "x.mdb", "--drawing", "A", "--drawing", "B"}, "given more than once"},
        {{"--database", "x.mdb", "--drawing", "A", "--yes=no"}, "--yes takes no value"},
    };
    for (const auto& c : cases) {
        const CliResult result = cli(c.args);
        EXPECT_EQ(result.code, DeleteCli::kUsage) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("Try 'korvalt-delete --help'"), std::string::npos);
    }
    EXPECT_EQ(drawings(database), full());

    const DeleteCli::Options inlineValues =
        DeleteCli::parse({"--database=a b.mdb", "-y", "--drawing=AREA 1.dwg"});
    EXPECT_EQ(inlineValues.database, "a b.mdb");
    EXPECT_EQ(inlineValues.drawing, "AREA 1.dwg");
    EXPECT_TRUE(inlineValues.yes);
    EXPECT_FALSE(DeleteCli::parse({"--database", "a", "--drawing", "b"}).yes);

    const CliResult help = cli({"--help"});
    EXPECT_EQ(help.code, DeleteCli::kSuccess);
    EXPECT_EQ(help.out, DeleteCli::helpText());
}

// The comparison is the engine's: whole name, any letter case.
TEST_F(DeleteCliTest, YesDeletesExactlyTheDrawingsRecords) {
    const CliResult result = cli(deleting("area1.DWG", true));
    EXPECT_EQ(result.code, DeleteCli::kSuccess) << result.err;
    EXPECT_EQ(result.out, "Deleted 4 records of AREA1.dwg.\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(drawings(database), (std::map<std::string, int>{{"AREA2.dwg", 5}}));

    // Only the whole name counts: a part of it, or a pattern, matches nothing.
    for (const char* partial : {"AREA2", "AREA*"}) {
        const CliResult none = cli(deleting(partial, true));
        EXPECT_EQ(none.code, DeleteCli::kFailure) << partial;
        EXPECT_NE(
            none.err.find("holds no records of " + std::string(partial) + ". Nothing was deleted."),
            std::string::npos)
            << none.err;
    }
    EXPECT_EQ(drawings(database), (std::map<std::string, int>{{"AREA2.dwg", 5}}));
}

TEST_F(DeleteCliTest, AsksTheWindowsQuestionAndDeletesOnlyAfterYes) {
    const struct {
        const char* input;
        bool deletes;
    } answers[] = {{"n\n", false}, {"", false},   {"yes please\n", false},
                   {"\n", false},  {"Y\n", true}, {" yes \n", true}};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.input);
        database = makePipeDatabase("pipe-" + std::to_string(&answer - answers) + ".db", 9);
        const CliResult result = cli(deleting("AREA1.dwg", false), answer.input);
        EXPECT_NE(result.err.find(database + " holds 4 records of AREA1.dwg.\nAre you sure you "
                                             "want to delete all Records for AREA1.dwg from this "
                                             "Database? [y/N] "),
                  std::string::npos)
            << result.err;
        if (answer.deletes) {
            EXPECT_EQ(result.code, DeleteCli::kSuccess);
            EXPECT_EQ(result.out, "Deleted 4 records of AREA1.dwg.\n");
            EXPECT_EQ(drawings(database), (std::map<std::string, int>{{"AREA2.dwg", 5}}));
        } else {
            EXPECT_EQ(result.code, DeleteCli::kFailure);
            EXPECT_EQ(result.out, "");
            EXPECT_TRUE(result.err.ends_with("Nothing was deleted.\n")) << result.err;
            EXPECT_EQ(drawings(database), full());
        }
    }
}

TEST_F(DeleteCliTest, FailuresCarryTheEngineNumber) {
    const CliResult missing = cli({"--database", tempPath("absent.db"), "--drawing", "A"});
    EXPECT_EQ(missing.code, DeleteCli::kFailure);
    EXPECT_NE(missing.err.find("korvalt-delete: Error 3024: "), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(tempPath("absent.db")));

    // The name goes into the statement as typed, as in the window.
    const CliResult quoted = cli(deleting("AREA1\".dwg", true));
    EXPECT_EQ(quoted.code, DeleteCli::kFailure);
    EXPECT_NE(quoted.err.find("korvalt-delete: Error 3075: "), std::string::npos) << quoted.err;
    EXPECT_EQ(quoted.out, "");
    EXPECT_EQ(drawings(database), full());
}

// A delete the engine rejects after the records were counted: the gateway
// reports it in its message box, and the command passes it on.
TEST_F(DeleteCliTest, ADeleteTheGatewayReportsFailedExitsWithOne) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER keep BEFORE DELETE ON Pipe "
                           "BEGIN SELECT RAISE(ABORT, 'records are kept'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    const CliResult result = cli(deleting("AREA1.dwg", true));
    EXPECT_EQ(result.code, DeleteCli::kFailure);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("korvalt-delete: Error 3000: records are kept\n"), std::string::npos)
        << result.err;
    // Only the engine's words: no routine name, no support footer.
    EXPECT_EQ(result.err.find("DeleteRecord"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(kSupportAddress), std::string::npos) << result.err;
    EXPECT_TRUE(result.err.ends_with("Nothing was deleted.\n")) << result.err;
    EXPECT_EQ(drawings(database), full());
}

// In an Access file the records go from the file itself; the old file is
// kept beside it, and Access holding the file open is a refusal that
// leaves it as it was.
TEST_F(DeleteCliTest, DeletesInsideAnAccessFile) {
    database = tempPath("plant.mdb");
    std::filesystem::copy_file(KORVALT_FIXTURES_DIR "/pipe-small-indexed.mdb", database);
    std::map<std::string, int> expected = drawings(database);
    ASSERT_EQ(expected["AREA1.dwg"], 12);

    const std::string lockFile = tempPath("PLANT.ldb");
    writeFile("PLANT.ldb", "");
    const CliResult refused = cli(deleting("area1.DWG", true));
    EXPECT_EQ(refused.code, DeleteCli::kFailure);
    EXPECT_NE(refused.err.find("korvalt-delete: Error 3045: "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(lockFile), std::string::npos) << refused.err;
    EXPECT_EQ(readFile(database), readFile(KORVALT_FIXTURES_DIR "/pipe-small-indexed.mdb"));
    std::filesystem::remove(lockFile);

    const CliResult result = cli(deleting("area1.DWG", true));
    EXPECT_EQ(result.code, DeleteCli::kSuccess) << result.err;
    EXPECT_EQ(result.out, "Deleted 12 records of AREA1.dwg.\n");
    EXPECT_EQ(result.err, "");
    expected.erase("AREA1.dwg");
    EXPECT_EQ(drawings(database), expected);
    EXPECT_EQ(readFile(database + ".bak"),
              readFile(KORVALT_FIXTURES_DIR "/pipe-small-indexed.mdb"));
}

} // namespace
} // namespace korvalt::testing
