#include "app/DeleteCli.h"
#include "app/ReportCli.h"
#include "database/Database.h"
#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QPushButton>
#include <sqlite3.h>

#include <filesystem>
#include <sstream>
#include <tuple>

namespace korvalt::testing {
namespace {

using Args = std::vector<std::string>;
enum Tool { kReport, kDelete };

class CliTest : public MainWindowFixture {
protected:
    // Runs a command inside the test's process: whatever the window had
    // (database, footers, loaded windows) is there again afterwards, and the
    // window's toolkit was not used.
    int cli(Tool tool, const Args& args, const std::string& input = "") {
        const auto state = [this] {
            return std::tuple(gDatabase.get(), gDatabaseOpen, gTableFound, gsSupportFooter,
                              gsContactFooter, frmTaviDatabaseSlot.loaded(),
                              frmLocateDataSlot.loaded(), fake.messages.size(), fake.modals.size());
        };
        const auto before = state();
        std::istringstream in(input);
        std::ostringstream o, e;
        const int code =
            tool == kReport ? ReportCli::run(args, o, e) : DeleteCli::run(args, in, o, e);
        EXPECT_EQ(state(), before);
        SetToolkit(&fake);
        out = o.str();
        err = e.str();
        return code;
    }
    static std::int64_t records(const std::string& path) {
        const auto all = OpenDatabase(path)->openRecordset("SELECT COUNT(*) AS n FROM Pipe");
        return all->fields("n").asInteger();
    }
    std::string out, err;
};

// Every report, on the SQLite copy and on the Access original: the command
// writes byte for byte what Export writes after the same clicks, and exits 1
// when an error was met on the way.
TEST_F(CliTest, ReportWritesWhatTheWindowExports) {
    using W = frmTaviDatabase;
    const struct {
        const char* options;
        QPushButton* W::*button;
        const char *drawing, *spec;
        int clicks; // on the heading of the column --sort names
        int exitCode;
    } cases[] = {
        {"search --spec=cs150 --sort 9", &W::cmdSearchAll, "All", "cs150", 1, 0},
        {"search --drawing AREA* --sort 6 --descending", &W::cmdSearchAll, "AREA*", "All", 2, 0},
        {"require-line", &W::cmdRequireNumber, "All", "All", 0, 0},
        {"require-tag --drawing AREA* --sort 5 --descending", &W::cmdRequireTag, "AREA*", "All", 2,
         0},
        {"unique-lines --spec CS150 --sort 1 --descending", &W::cmdListUniqueLine, "All", "CS150",
         2, 0},
        {"duplicate-tags", &W::CmdFindDuplicatetags, "All", "All", 0, 1},
        {"duplicate-tags --drawing AREA1.dwg --sort 2", &W::CmdFindDuplicatetags, "AREA1.dwg",
         "All", 1, 0},
        {"model-files --sort 1", &W::cmdListUnique, "All", "All", 1, 0},
    };
    for (const std::string& database :
         {databasePath, std::string(KORVALT_FIXTURES_DIR "/pipe-small.mdb")}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.options) + " " + database);
            ResetProcessState();
            flushDeletes();
            startOn(database);
            setFilters({c.drawing, c.spec});
            (window->*c.button)->click();
            Args args = words(std::string("--report ") + c.options);
            for (int click = 0; click < c.clicks; ++click)
                window->lstvResults_ColumnClick(std::stoi(
                    args[std::find(args.begin(), args.end(), "--sort") - args.begin() + 1]));
            fake.saveFiles.push_back(tempPath("window.csv"));
            window->cmdExport->click();
            ASSERT_GT(window->lstvResults->count(), 0);
            args.insert(args.end(), {"--database", database, "--output", tempPath("cli.csv")});
            EXPECT_EQ(cli(kReport, args), c.exitCode) << err;
            EXPECT_EQ(readFile(tempPath("cli.csv")), readFile(tempPath("window.csv")));
        }
    }
}

TEST_F(CliTest, ReportPrintsTheStatementAndWritesToStandardOutput) {
    EXPECT_EQ(cli(kReport, words("--report search --tag P* --line L'1 --print-sql")), 0);
    EXPECT_EQ(
        out,
        "SELECT * FROM PIPE WHERE LINE_NUM LIKE 'L'1' AND TAG LIKE 'P*' ORDER BY Dwg_name ASC, "
        "long_Desc ASC, alpha_size ASC\n");
    EXPECT_EQ(cli(kReport, words("--report search --long L1 --short S1 --part-code C1 --size 4 "
                                 "--print-sql --sort 11 --descending")),
              0);
    EXPECT_EQ(out,
              "SELECT * FROM PIPE WHERE ALPHA_SIZE = '4' AND SHORT_DESC = 'S1' AND LONG_DESC = "
              "'L1' AND DB_CODE = 'C1' ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC\n");
    const std::string lines = "--report unique-lines --sort 1 --database " + databasePath;
    ASSERT_EQ(cli(kReport, words(lines + " --output " + tempPath("lines.csv"))), 0);
    EXPECT_EQ(cli(kReport, words(lines + " --output - --print-sql")), 0);
    EXPECT_EQ(out, readFile(tempPath("lines.csv")));
    EXPECT_TRUE(out.starts_with("\"List of line Numbers\"\r\n\"\"\r\n\"Line Number\"\r\n\"\"\r\n"));
    EXPECT_EQ(err, "SELECT DISTINCT LINE_NUM FROM Pipe\n");
    // model-files lists the whole database and says the filters do not apply.
    const std::string files = "--report model-files --output=- --database " + databasePath;
    EXPECT_EQ(cli(kReport, words(files + " --drawing X")), 0);
    const std::string filtered = out;
    EXPECT_EQ(err, "korvalt-report: the model-files report lists the whole database; the filters "
                   "are ignored\n");
    EXPECT_EQ(cli(kReport, words(files)), 0);
    EXPECT_EQ(out, filtered);
    EXPECT_EQ(err, "");
}

TEST_F(CliTest, ReportFailuresCarryTheEngineNumberAndWriteNothing) {
    const struct {
        std::string database;
        const char* extra;
        std::string start, inError;
    } cases[] = {
        {tempPath("absent.mdb"), "", "korvalt-report: Error 3024: ", "absent.mdb"},
        {KORVALT_FIXTURES_DIR "/no-pipe.mdb", "",
         "Locate CadWorx Database File: The location or name of the database file is recorded "
         "incorrectly. Please browse to the correct location of the database file.\n"
         "korvalt-report: Error 3078: ",
         "'PIPE'"},
        {databasePath, "--tag O'B",
         "Korvalt: Error Number 3075 in routine GetRecordSet \n\nSyntax error in string in query "
         "expression 'TAG = 'O'B' ORDER BY",
         "Please contact our IT department"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.database);
        Args args = {"--database", c.database, "--report", "search", "--output", tempPath("o.csv")};
        for (const std::string& word : words(c.extra))
            args.push_back(word);
        EXPECT_EQ(cli(kReport, args), 1);
        EXPECT_EQ(err.rfind(c.start, 0), 0u) << err;
        EXPECT_NE(err.find(c.inError), std::string::npos) << err;
        EXPECT_EQ(err.find('\r'), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(tempPath("o.csv")));
        EXPECT_EQ(out, "");
    }
}

// 9 records: AREA1.dwg has 4, AREA2.dwg 5. The database is made afresh for
// each case.
TEST_F(CliTest, DeleteRemovesAfterYesOnlyAndSaysWhatItDid) {
    const std::string db = tempPath("nine.db"), none = "korvalt-delete: " + db + " holds no ";
    const std::string question = db + " holds 4 records of AREA1.dwg.\nAre you sure you want to "
                                      "delete all Records for area1.DWG from this Database? [y/N] ";
    const std::string deleted = "Deleted 4 records of AREA1.dwg.\n",
                      nothing = "Nothing was deleted.\n";
    const struct {
        const char* args;
        const char* input;
        int code;
        std::string out, err;
    } cases[] = {
        {"--drawing area1.DWG --yes", "", 0, deleted, ""},
        {"-y --drawing AREA2", "", 1, "", none + "records of AREA2. " + nothing},
        {"--drawing AREA* --yes", "", 1, "", none + "records of AREA*. " + nothing},
        {"--drawing area1.DWG", "Y\n", 0, deleted, question},
        {"--drawing area1.DWG", " yes \r\n", 0, deleted, question},
        {"--drawing area1.DWG", "n\n", 1, "", question + nothing},
        {"--drawing area1.DWG", "yes please\n", 1, "", question + nothing},
        {"--drawing area1.DWG", "\n", 1, "", question + nothing},
        {"--drawing area1.DWG", "", 1, "", question + "\n" + nothing},
        {"--drawing AREA1\".dwg --yes", "", 1, "",
         "korvalt-delete: Error 3075: Syntax error in string in query expression 'DWG_NAME = "
         "\"AREA1\".dwg\"'.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + std::string(" <") + c.input);
        makePipeDatabase("nine.db", 9);
        Args args = words(c.args);
        args.insert(args.begin(), {"--database", db});
        EXPECT_EQ(cli(kDelete, args, c.input), c.code);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(records(db), c.out.empty() ? 9 : 5);
    }
    const std::string one = makePipeDatabase("one.db", 1);
    EXPECT_EQ(cli(kDelete, {"--database=" + one, "--drawing=AREA2.dwg"}, "y\n"), 0);
    EXPECT_EQ(err, one + " holds 1 record of AREA2.dwg.\nAre you sure you want to delete all "
                         "Records for AREA2.dwg from this Database? [y/N] ");
    EXPECT_EQ(out, "Deleted 1 record of AREA2.dwg.\n");
    EXPECT_EQ(cli(kDelete, {"--database", tempPath("absent.db"), "--drawing", "A"}), 1);
    EXPECT_EQ(err.rfind("korvalt-delete: Error 3024: ", 0), 0u) << err;
    EXPECT_FALSE(std::filesystem::exists(tempPath("absent.db")));

    // A delete the engine rejects after the records were counted: the
    // engine's words only, no routine name, no footer.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw,
                           "CREATE TRIGGER keep BEFORE DELETE ON Pipe BEGIN SELECT RAISE(ABORT, "
                           "'records are kept'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    EXPECT_EQ(cli(kDelete, {"--database", db, "--drawing", "AREA1.dwg", "--yes"}), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "korvalt-delete: Error 3000: records are kept\n" + nothing);
    EXPECT_EQ(records(db), 9);
}

// A wrong command line exits 2 with the reason on standard error, nothing on
// standard output; --help exits 0 with the whole help in 80 columns.
TEST_F(CliTest, WrongCommandLinesExitWithTwo) {
    const struct {
        Tool tool;
        const char* args;
        std::string error;
    } cases[] = {
        {kReport, "", "--report is required"},
        {kReport, "--report search --colour red", "unknown option --colour"},
        {kReport, "--report search stray", "unexpected argument 'stray'"},
        {kReport, "--report", "--report needs a value"},
        {kReport, "--report searches",
         "unknown report 'searches' (one of search, require-line, require-tag, unique-lines, "
         "duplicate-tags, model-files)"},
        {kReport, "--report search --report=search", "--report is given more than once"},
        {kReport, "--report search --database x",
         "--output is required (a file name, or - for standard output)"},
        {kReport, "--report search --database x --output=",
         "--output needs a file name, or - for standard output"},
        {kReport, "--report search --output -", "--database is required"},
        {kReport, "--report search --print-sql=yes", "--print-sql takes no value"},
        {kReport, "--report search --sort 0", "--sort 0: the search report has 11 columns"},
        {kReport, "--report search --sort 12", "--sort 12: the search report has 11 columns"},
        {kReport, "--report model-files --sort 2", "--sort 2: the model-files report has 1 column"},
        {kReport, "--report search --sort two", "--sort takes a column number from 1, not 'two'"},
        {kReport, "--report search --sort 00001",
         "--sort takes a column number from 1, not '00001'"},
        {kReport, "--report search --descending", "--descending needs --sort"},
        {kDelete, "--drawing A --yes", "--database is required"},
        {kDelete, "--database x.mdb", "--drawing is required"},
        {kDelete, "--database= --drawing=A", "--database needs a file name"},
        {kDelete, "--database=x.mdb --drawing=", "--drawing needs the model file's name"},
        {kDelete, "--database x.mdb --drawing A --force", "unknown option --force"},
        {kDelete, "--database x.mdb --drawing A --yes=no", "--yes takes no value"},
    };
    for (const auto& c : cases) {
        const std::string program = c.tool == kReport ? "korvalt-report" : "korvalt-delete";
        EXPECT_EQ(cli(c.tool, words(c.args)), 2) << c.error;
        EXPECT_EQ(err, program + ": " + c.error + "\nTry '" + program + " --help'.\n");
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(cli(kReport, {"--report", "nonsense", "--help"}), 0);
    EXPECT_EQ(out, ReportCli::helpText());
    EXPECT_EQ(shape(out), "51 lines, 2576 characters, widest 77");
    EXPECT_EQ(cli(kDelete, {"-h"}), 0);
    EXPECT_EQ(out, DeleteCli::helpText());
    EXPECT_EQ(shape(out), "40 lines, 1825 characters, widest 74");
}

} // namespace
} // namespace korvalt::testing
