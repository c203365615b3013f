#include "app/ReportCli.h"
#include "database/Database.h"
#include "results/ReportCatalog.h"
#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QPushButton>

#include <filesystem>
#include <sstream>

namespace korvalt::testing {
namespace {

using Args = std::vector<std::string>;

class ReportCliTest : public MainWindowFixture {
protected:
    // Runs the command; the window goes on with the fake toolkit afterwards.
    int cli(const Args& args) {
        std::ostringstream o, e;
        const int code = ReportCli::run(args, o, e);
        SetToolkit(&fake);
        out = o.str();
        err = e.str();
        return code;
    }
    std::string out, err;
};

FilterTexts filters(std::string drawing, std::string spec = "All", std::string size = "All") {
    FilterTexts f;
    f.drawing = std::move(drawing);
    f.spec = std::move(spec);
    f.size = std::move(size);
    return f;
}

// Every report, on the SQLite copy and on the Access original: the command
// writes byte for byte what Export writes after the same clicks, leaves the
// window's database as it was, and exits 1 when an error was met on the way.
TEST_F(ReportCliTest, WritesWhatTheWindowExports) {
    const struct {
        const char* options;
        QPushButton* frmTaviDatabase::*button;
        FilterTexts filters;
        int clicks; // on the heading of the column --sort names
        int exitCode;
    } cases[] = {
        {"search --spec=cs150 --sort 9", &frmTaviDatabase::cmdSearchAll, filters("All", "cs150"), 1,
         0},
        {"search --drawing AREA* --sort 6 --descending", &frmTaviDatabase::cmdSearchAll,
         filters("AREA*"), 2, 0},
        {"require-line", &frmTaviDatabase::cmdRequireNumber, filters("All"), 0, 0},
        {"require-tag --drawing AREA* --sort 5 --descending", &frmTaviDatabase::cmdRequireTag,
         filters("AREA*"), 2, 0},
        {"unique-lines --spec CS150 --sort 1 --descending", &frmTaviDatabase::cmdListUniqueLine,
         filters("All", "CS150"), 2, 0},
        {"duplicate-tags", &frmTaviDatabase::CmdFindDuplicatetags, filters("All"), 0, 1},
        {"duplicate-tags --drawing AREA1.dwg --sort 2", &frmTaviDatabase::CmdFindDuplicatetags,
         filters("AREA1.dwg"), 1, 0},
        {"model-files --sort 1", &frmTaviDatabase::cmdListUnique, filters("All"), 1, 0},
    };
    for (const std::string& database :
         {databasePath, std::string(KORVALT_FIXTURES_DIR "/pipe-small.mdb")}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.options) + " " + database);
            ResetProcessState();
            flushDeletes();
            startOn(database);
            setFilters(c.filters);
            (window->*c.button)->click();
            Args args = words(std::string("--report ") + c.options);
            for (int click = 0; click < c.clicks; ++click)
                window->lstvResults_ColumnClick(std::stoi(
                    args[std::find(args.begin(), args.end(), "--sort") - args.begin() + 1]));
            fake.saveFiles.push_back(tempPath("window.csv"));
            window->cmdExport->click();
            ASSERT_GT(window->lstvResults->count(), 0);
            Database* before = gDatabase.get();
            args.insert(args.end(), {"--database", database, "--output", tempPath("cli.csv")});
            EXPECT_EQ(cli(args), c.exitCode) << err;
            EXPECT_EQ(readFile(tempPath("cli.csv")), readFile(tempPath("window.csv")));
            EXPECT_EQ(gDatabase.get(), before);
            EXPECT_TRUE(gDatabaseOpen && gTableFound);
        }
    }
}

TEST_F(ReportCliTest, PrintsTheStatementAndWritesToStandardOutput) {
    EXPECT_EQ(cli({"--report", "search", "--tag", "P*", "--line", "L'1", "--print-sql"}), 0);
    EXPECT_EQ(
        out,
        "SELECT * FROM PIPE WHERE LINE_NUM LIKE 'L'1' AND TAG LIKE 'P*' ORDER BY Dwg_name ASC, "
        "long_Desc ASC, alpha_size ASC\n");
    EXPECT_EQ(
        cli(words("--report search --long L1 --short S1 --part-code C1 --size 4 --print-sql")), 0);
    for (const char* value : {"'L1'", "'S1'", "'C1'", "'4'"})
        EXPECT_NE(out.find(value), std::string::npos) << out;
    const Args base = {"--database", databasePath, "--report", "unique-lines", "--sort", "1"};
    Args toFile = base, toStdout = base;
    toFile.insert(toFile.end(), {"--output", tempPath("lines.csv")});
    toStdout.insert(toStdout.end(), {"--output", "-", "--print-sql"});
    ASSERT_EQ(cli(toFile), 0);
    EXPECT_EQ(cli(toStdout), 0);
    EXPECT_EQ(out, readFile(tempPath("lines.csv")));
    EXPECT_TRUE(out.starts_with("\"List of line Numbers\"\r\n\"\"\r\n\"Line Number\"\r\n\"\"\r\n"));
    EXPECT_EQ(err, "SELECT DISTINCT LINE_NUM FROM Pipe\n");
    // model-files lists the whole database and says the filters do not apply.
    EXPECT_EQ(cli({"--database", databasePath, "--report", "model-files", "--drawing", "X",
                   "--output", "-"}),
              0);
    const std::string filtered = out;
    EXPECT_EQ(err, "korvalt-report: the model-files report lists the whole database; the filters "
                   "are ignored\n");
    EXPECT_EQ(cli({"--database", databasePath, "--report", "model-files", "--output=-"}), 0);
    EXPECT_EQ(out, filtered);
    EXPECT_EQ(err, "");
    EXPECT_EQ(cli({"--report", "nonsense", "--help"}), 0);
    EXPECT_EQ(out, ReportCli::helpText());
    // Whole lines within 80 columns, all of them there.
    EXPECT_EQ(shape(out), "51 lines, 2576 characters, widest 77");
    for (const ReportSpec& report : ReportCatalog::all())
        EXPECT_NE(out.find("\n  " + std::string(report.name) + " "), std::string::npos);
}

TEST_F(ReportCliTest, FailuresCarryTheEngineNumberAndWriteNothing) {
    const std::string notDatabase = writeFile("notes.txt", "just some text\n");
    const struct {
        std::string database;
        Args extra;
        std::string start, inError;
    } cases[] = {
        {tempPath("absent.mdb"), {}, "korvalt-report: Error 3024: ", "absent.mdb"},
        {tempPath("no-folder/x.mdb"), {}, "korvalt-report: Error 3044: ", "isn't a valid path"},
        {notDatabase, {}, "korvalt-report: Error 3343: ", ""},
        {KORVALT_FIXTURES_DIR "/no-pipe.mdb",
         {},
         "Locate CadWorx Database File: The location or name of the database file is recorded "
         "incorrectly. Please browse to the correct location of the database file.\n"
         "korvalt-report: Error 3078: ",
         "'PIPE'"},
        {databasePath,
         {"--tag", "O'B"},
         "Korvalt: Error Number 3075 in routine GetRecordSet \n\nSyntax error in string in query "
         "expression 'TAG = 'O'B' ORDER BY",
         "Please contact our IT department"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.database);
        Args args = {"--database", c.database, "--report", "search", "--output", tempPath("o.csv")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(cli(args), 1);
        EXPECT_EQ(err.rfind(c.start, 0), 0u) << err;
        EXPECT_NE(err.find(c.inError), std::string::npos) << err;
        EXPECT_EQ(err.find('\r'), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(tempPath("o.csv")));
        EXPECT_EQ(out, "");
    }
    EXPECT_TRUE(fake.messages.empty() && fake.modals.empty());
    EXPECT_FALSE(frmLocateDataSlot.loaded());
    EXPECT_FALSE(gDatabase);
}

TEST_F(ReportCliTest, WrongCommandLinesExitWithTwo) {
    const std::pair<const char*, std::string> cases[] = {
        {"", "--report is required"},
        {"--report search --colour red", "unknown option --colour"},
        {"--report search stray", "unexpected argument 'stray'"},
        {"--report", "--report needs a value"},
        {"--report searches", "unknown report 'searches' (one of search, require-line, "
                              "require-tag, unique-lines, duplicate-tags, model-files)"},
        {"--report search --report=search", "--report is given more than once"},
        {"--report search --database x", "--output is required (a file name, or - for standard "
                                         "output)"},
        {"--report search --database x --output=", "--output needs a file name, or - for "
                                                   "standard output"},
        {"--report search --output -", "--database is required"},
        {"--report search --print-sql=yes", "--print-sql takes no value"},
        {"--report search --sort 0", "--sort 0: the search report has 11 columns"},
        {"--report search --sort 12", "--sort 12: the search report has 11 columns"},
        {"--report model-files --sort 2", "--sort 2: the model-files report has 1 column"},
        {"--report search --sort two", "--sort takes a column number from 1, not 'two'"},
        {"--report search --sort 00001", "--sort takes a column number from 1, not '00001'"},
        {"--report search --descending", "--descending needs --sort"}};
    for (const auto& [args, error] : cases) {
        EXPECT_EQ(cli(words(args)), 2) << error;
        EXPECT_EQ(err, "korvalt-report: " + error + "\nTry 'korvalt-report --help'.\n");
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(cli(words("--report search --sort 11 --print-sql --descending")), 0);
}

} // namespace
} // namespace korvalt::testing
