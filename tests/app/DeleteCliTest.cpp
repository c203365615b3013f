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
using Counts = std::map<std::string, int>;

class DeleteCliTest : public ProcessFixture {
protected:
    int cli(const Args& args, const std::string& input = "") {
        std::istringstream in(input);
        std::ostringstream o, e;
        const int code = DeleteCli::run(args, in, o, e);
        EXPECT_FALSE(gDatabase);
        EXPECT_FALSE(frmTaviDatabaseSlot.loaded());
        out = o.str();
        err = e.str();
        return code;
    }
    // Records per drawing, read afresh from the file.
    static Counts drawings(const std::string& path) {
        Counts counts;
        const auto db = OpenDatabase(path);
        for (auto r = db->openRecordset("SELECT DWG_NAME FROM Pipe"); !r->isEof(); r->moveNext())
            ++counts[r->fields("DWG_NAME").isText() ? r->fields("DWG_NAME").asText() : "-"];
        return counts;
    }
    std::string out, err;
};

// 9 records: AREA1.dwg has 4, AREA2.dwg 5.
TEST_F(DeleteCliTest, DeletesAfterYesOnlyAndSaysWhatItDid) {
    const std::string question = " holds 4 records of AREA1.dwg.\nAre you sure you want to delete "
                                 "all Records for area1.DWG from this Database? [y/N] ";
    const struct {
        Args extra;
        const char* input;
        const char* drawing;
        int code;
        std::string out, err; // "@" stands for the database's path
    } cases[] = {
        {{"--yes"}, "", "area1.DWG", 0, "Deleted 4 records of AREA1.dwg.\n", ""},
        {{"-y"},
         "",
         "AREA2",
         1,
         "",
         "korvalt-delete: @ holds no records of AREA2. Nothing was deleted.\n"},
        {{"--yes"},
         "",
         "AREA*",
         1,
         "",
         "korvalt-delete: @ holds no records of AREA*. Nothing was deleted.\n"},
        {{}, "Y\n", "area1.DWG", 0, "Deleted 4 records of AREA1.dwg.\n", "@" + question},
        {{}, " yes \r\n", "area1.DWG", 0, "Deleted 4 records of AREA1.dwg.\n", "@" + question},
        {{}, "n\n", "area1.DWG", 1, "", "@" + question + "Nothing was deleted.\n"},
        {{}, "yes please\n", "area1.DWG", 1, "", "@" + question + "Nothing was deleted.\n"},
        {{}, "\n", "area1.DWG", 1, "", "@" + question + "Nothing was deleted.\n"},
        {{}, "", "area1.DWG", 1, "", "@" + question + "\nNothing was deleted.\n"},
        {{"--yes"}, "", "AREA1\".dwg", 1, "", "korvalt-delete: Error 3075: "},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input + std::string(c.drawing));
        const std::string database = makePipeDatabase("pipe" + std::to_string(n++) + ".db", 9);
        Args args = {"--database", database, "--drawing", c.drawing};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(cli(args, c.input), c.code);
        EXPECT_EQ(out, c.out);
        std::string expected = c.err;
        if (const auto at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, database);
        EXPECT_EQ(err.substr(0, expected.size()), expected);
        EXPECT_EQ(drawings(database), c.out.empty() ? (Counts{{"AREA1.dwg", 4}, {"AREA2.dwg", 5}})
                                                    : (Counts{{"AREA2.dwg", 5}}));
    }
    const std::string one = makePipeDatabase("one.db", 1);
    EXPECT_EQ(cli({"--database", one, "--drawing", "AREA2.dwg"}, "y\n"), 0);
    EXPECT_EQ(err, one + " holds 1 record of AREA2.dwg.\nAre you sure you want to delete all "
                         "Records for AREA2.dwg from this Database? [y/N] ");
    EXPECT_EQ(out, "Deleted 1 record of AREA2.dwg.\n");
    EXPECT_EQ(cli({"--database", tempPath("absent.db"), "--drawing", "A"}), 1);
    EXPECT_EQ(err.rfind("korvalt-delete: Error 3024: ", 0), 0u) << err;
    EXPECT_FALSE(std::filesystem::exists(tempPath("absent.db")));
}

TEST_F(DeleteCliTest, WrongCommandLinesExitWithTwo) {
    const std::pair<const char*, std::string> cases[] = {
        {"", "--database is required"},
        {"--drawing A --yes", "--database is required"},
        {"--database x.mdb", "--drawing is required"},
        {"--database x.mdb --drawing", "--drawing needs a value"},
        {"--database= --drawing=A", "--database needs a file name"},
        {"--database=x.mdb --drawing=", "--drawing needs the model file's name"},
        {"--database x.mdb --drawing A --force", "unknown option --force"},
        {"--database x.mdb --drawing A B", "unexpected argument 'B'"},
        {"-y --database x --drawing A -y", "-y is given more than once"},
        {"--database x.mdb --drawing A --yes=no", "--yes takes no value"},
        {"--help=me", "--help takes no value"}};
    for (const auto& [line, message] : cases) {
        EXPECT_EQ(cli(words(line)), DeleteCli::kUsage) << message;
        EXPECT_EQ(err, "korvalt-delete: " + message + "\nTry 'korvalt-delete --help'.\n");
    }
    const DeleteCli::Options parsed =
        DeleteCli::parse({"--database=a b.mdb", "-y", "--drawing=A 1"});
    EXPECT_EQ(parsed.database + "|" + parsed.drawing, "a b.mdb|A 1");
    EXPECT_TRUE(parsed.yes);
    EXPECT_FALSE(DeleteCli::parse({"--database", "a", "--drawing", "b"}).yes);
    EXPECT_EQ(cli({"-h"}), DeleteCli::kSuccess);
    EXPECT_EQ(out, DeleteCli::helpText());
    EXPECT_EQ(shape(out), "40 lines, 1825 characters, widest 74");
}

// A delete the engine rejects after the records were counted: the engine's
// words only, no routine name, no footer, and nothing deleted.
TEST_F(DeleteCliTest, ADeleteTheEngineRejectsExitsWithOne) {
    const std::string database = makePipeDatabase("pipe.db", 9);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER keep BEFORE DELETE ON Pipe BEGIN SELECT RAISE(ABORT, "
                           "'records are kept'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(cli({"--database", database, "--drawing", "AREA1.dwg", "--yes"}), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "korvalt-delete: Error 3000: records are kept\nNothing was deleted.\n");
}

} // namespace
} // namespace korvalt::testing
