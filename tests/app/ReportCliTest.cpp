#include "app/ReportCli.h"
#include "database/Database.h"
#include "query/QueryBuilder.h"
#include "query/clsComboHandler.h"
#include "results/ReportCatalog.h"
#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>
#include <QPushButton>

#include <filesystem>
#include <sstream>

namespace korvalt::testing {
namespace {

using Args = std::vector<std::string>;

struct CliResult {
    int code;
    std::string out;
    std::string err;
};

class ReportCliTest : public MainWindowFixture {
protected:
    CliResult cli(const Args& args) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = ReportCli::run(args, out, err);
        // The command leaves no toolkit behind; the window goes on with the fake.
        SetToolkit(&fake);
        return {code, out.str(), err.str()};
    }
    void setFilters(const FilterTexts& f) {
        const std::pair<QComboBox*, const std::string*> lists[] = {
            {window->cmbDrawName, &f.drawing}, {window->cmbSpec, &f.spec},
            {window->cmbSize, &f.size},        {window->cmbShort, &f.shortDesc},
            {window->cmbLineNum, &f.line},     {window->CmbLong, &f.longDesc},
            {window->cmbTag, &f.tag},          {window->CmbPartCode, &f.partCode}};
        for (const auto& [list, text] : lists)
            list->setEditText(QString::fromStdString(*text));
    }
    static Args filterArgs(const FilterTexts& f) {
        const FilterTexts all;
        Args args;
        const std::pair<const char*, std::string FilterTexts::*> options[] = {
            {"--tag", &FilterTexts::tag},         {"--part-code", &FilterTexts::partCode},
            {"--drawing", &FilterTexts::drawing}, {"--spec", &FilterTexts::spec},
            {"--size", &FilterTexts::size},       {"--long", &FilterTexts::longDesc},
            {"--line", &FilterTexts::line},       {"--short", &FilterTexts::shortDesc}};
        for (const auto& [name, member] : options) {
            if (f.*member != all.*member)
                args.insert(args.end(), {name, f.*member});
        }
        return args;
    }
};

struct ReportCase {
    const char* report;
    QPushButton* frmTaviDatabase::*button;
    FilterTexts filters;
    int sortColumn = 0; // 1-based; 0 for none
    bool descending = false;
    int exitCode = 0;
};

FilterTexts drawing(const char* text) {
    FilterTexts f;
    f.drawing = text;
    return f;
}

FilterTexts specAndSize(const char* spec, const char* size) {
    FilterTexts f;
    f.spec = spec;
    f.size = size;
    return f;
}

const std::vector<ReportCase>& reportCases() {
    static const std::vector<ReportCase> cases = {
        {"search", &frmTaviDatabase::cmdSearchAll, {}},
        {"search", &frmTaviDatabase::cmdSearchAll, specAndSize("cs150", "All"), 9},
        {"search", &frmTaviDatabase::cmdSearchAll, drawing("AREA*"), 6, true},
        {"require-line", &frmTaviDatabase::cmdRequireNumber, {}},
        {"require-tag", &frmTaviDatabase::cmdRequireTag, drawing("AREA*"), 5, true},
        {"unique-lines", &frmTaviDatabase::cmdListUniqueLine, specAndSize("CS150", "All")},
        {"unique-lines", &frmTaviDatabase::cmdListUniqueLine, {}, 1, true},
        // The apostrophe tag's own check is malformed: reported, the rest listed.
        {"duplicate-tags", &frmTaviDatabase::CmdFindDuplicatetags, {}, 0, false, 1},
        {"duplicate-tags", &frmTaviDatabase::CmdFindDuplicatetags, drawing("AREA1.dwg"), 2},
        {"model-files", &frmTaviDatabase::cmdListUnique, {}, 1},
    };
    return cases;
}

// Every report, on the SQLite copy and on the Access original: the command
// writes byte for byte what Export writes after the same clicks.
TEST_F(ReportCliTest, WritesWhatTheWindowExports) {
    for (const bool access : {false, true}) {
        const std::string database =
            access ? std::string(KORVALT_FIXTURES_DIR "/pipe-small.mdb") : databasePath;
        for (const ReportCase& c : reportCases()) {
            const std::string label = std::string(c.report) + (access ? " mdb" : " sqlite") +
                                      " sort " + std::to_string(c.sortColumn);
            SCOPED_TRACE(label);
            ResetProcessState();
            flushDeletes();
            SetToolkit(&fake);
            startOn(database);
            setFilters(c.filters);
            (window->*c.button)->click();
            for (int click = 0; c.sortColumn > 0 && click < (c.descending ? 2 : 1); ++click)
                window->lstvResults_ColumnClick(c.sortColumn);
            const std::string exported = tempPath("window.csv");
            std::filesystem::remove(exported);
            fake.saveFiles.push_back(exported);
            window->cmdExport->click();
            const std::string expected = readFile(exported);
            ASSERT_FALSE(expected.empty());
            ASSERT_GT(window->lstvResults->count(), 0);
            Database* windowDatabase = gDatabase.get();

            const std::string written = tempPath("cli.csv");
            Args args = {"--database", database, "--report", c.report, "--output", written};
            const Args filters = filterArgs(c.filters);
            args.insert(args.end(), filters.begin(), filters.end());
            if (c.sortColumn > 0)
                args.insert(args.end(), {"--sort", std::to_string(c.sortColumn)});
            if (c.descending)
                args.push_back("--descending");
            const CliResult result = cli(args);
            EXPECT_EQ(result.code, c.exitCode) << result.err;
            EXPECT_EQ(readFile(written), expected);
            // The window's database and state are as the command found them.
            EXPECT_EQ(gDatabase.get(), windowDatabase);
            EXPECT_TRUE(gDatabaseOpen);
            EXPECT_TRUE(gTableFound);
        }
    }
}

TEST_F(ReportCliTest, StandardOutputGetsTheSameBytesAsTheFile) {
    const std::string file = tempPath("lines.csv");
    const Args base = {"--database", databasePath, "--report", "unique-lines", "--sort", "1"};
    Args toFile = base;
    toFile.insert(toFile.end(), {"--output", file});
    Args toStdout = base;
    toStdout.insert(toStdout.end(), {"--output", "-", "--print-sql"});
    ASSERT_EQ(cli(toFile).code, 0);
    const CliResult piped = cli(toStdout);
    EXPECT_EQ(piped.code, 0);
    EXPECT_EQ(piped.out, readFile(file));
    EXPECT_EQ(piped.out.rfind("\"List of line Numbers\"\r\n\"\"\r\n\"Line Number\"\r\n", 0), 0u);
    // With an output the statement goes to the error stream, not into the CSV.
    EXPECT_EQ(piped.err, "SELECT DISTINCT LINE_NUM FROM Pipe\n");
}

TEST_F(ReportCliTest, PrintSqlIsTheStatementTheWindowBuilds) {
    startOn(databasePath);
    FilterTexts tagPattern;
    tagPattern.tag = "P*";
    tagPattern.line = "All";
    FilterTexts sizeStar = specAndSize("CS150", "1*");
    const FilterTexts filterSets[] = {{}, drawing("AREA1.dwg"), tagPattern, sizeStar};
    for (const ReportSpec& report : ReportCatalog::all()) {
        for (const FilterTexts& filters : filterSets) {
            setFilters(filters);
            std::string expected = report.baseStatement;
            if (report.filtered)
                clsComboHandler().CreateSql(expected);
            Args args = {"--report", report.name, "--print-sql"};
            const Args extra = filterArgs(filters);
            args.insert(args.end(), extra.begin(), extra.end());
            const CliResult result = cli(args);
            EXPECT_EQ(result.code, 0);
            EXPECT_EQ(result.out, expected + "\n") << report.name;
        }
    }
    EXPECT_NE(cli({"--report", "search", "--tag", "P*", "--print-sql"}).out.find("LIKE 'P*'"),
              std::string::npos);
    EXPECT_NE(cli({"--report", "search", "--size", "1*", "--print-sql"}).out.find("= '1*'"),
              std::string::npos);
}

TEST_F(ReportCliTest, FailuresCarryTheEngineNumberAndWriteNothing) {
    const std::string notDatabase = writeFile("notes.txt", "just some text\n");
    const struct {
        std::string database;
        Args extra;
        std::vector<std::string> inError;
    } cases[] = {
        {tempPath("absent.mdb"), {}, {"Error 3024: ", "absent.mdb"}},
        {tempPath("no-folder/x.mdb"), {}, {"Error 3044: ", "isn't a valid path"}},
        {notDatabase, {}, {"Error 3343: "}},
        {KORVALT_FIXTURES_DIR "/no-pipe.mdb", {}, {"Error 3078: ", "'PIPE'", "Please browse"}},
        {databasePath, {"--tag", "O'B"}, {"Error Number 3075 in routine GetRecordSet", "O'B"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.database);
        const std::string output = tempPath("out.csv");
        Args args = {"--database", c.database, "--report", "search", "--output", output};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CliResult result = cli(args);
        EXPECT_EQ(result.code, 1);
        for (const std::string& part : c.inError)
            EXPECT_NE(result.err.find(part), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\r'), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(output));
        EXPECT_TRUE(result.out.empty());
    }
    // Nothing went through the window toolkit and no window stays behind.
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_TRUE(fake.modals.empty());
    EXPECT_FALSE(frmLocateDataSlot.loaded());
    EXPECT_FALSE(gDatabase);
}

TEST_F(ReportCliTest, ModelFilesIgnoresFiltersAndSaysSo) {
    const CliResult plain = cli({"--database", databasePath, "--report", "model-files", "-o"});
    EXPECT_EQ(plain.code, 2);
    const CliResult all =
        cli({"--database", databasePath, "--report", "model-files", "--output=-"});
    const CliResult filtered = cli(
        {"--database", databasePath, "--report", "model-files", "--drawing", "X", "--output", "-"});
    EXPECT_EQ(filtered.code, 0);
    EXPECT_EQ(filtered.out, all.out);
    EXPECT_NE(filtered.err.find("ignored"), std::string::npos);
}

TEST_F(ReportCliTest, UsageErrorsExitWithTwo) {
    const std::string db = databasePath;
    const struct {
        Args args;
        const char* inError;
    } cases[] = {
        {{}, "--report is required"},
        {{"--report", "search", "--colour", "red"}, "unknown option --colour"},
        {{"--report", "search", "stray"}, "unexpected argument 'stray'"},
        {{"--report"}, "--report needs a value"},
        {{"--report", "searches", "--print-sql"}, "unknown report 'searches'"},
        {{"--report", "search", "--report", "search"}, "more than once"},
        {{"--report", "search", "--database", db}, "--output is required"},
        {{"--report", "search", "--output", "-"}, "--database is required"},
        {{"--report", "search", "--print-sql=yes"}, "takes no value"},
        {{"--report", "search", "--sort", "0", "--print-sql"}, "--sort"},
        {{"--report", "search", "--sort", "12", "--print-sql"}, "has 11 columns"},
        {{"--report", "model-files", "--sort", "2", "--print-sql"}, "has 1 column"},
        {{"--report", "search", "--sort", "two", "--print-sql"}, "column number"},
        {{"--report", "search", "--descending", "--print-sql"}, "--descending needs --sort"},
    };
    for (const auto& c : cases) {
        const CliResult result = cli(c.args);
        EXPECT_EQ(result.code, 2) << c.inError;
        EXPECT_NE(result.err.find(c.inError), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("--help"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
    const CliResult help = cli({"--report", "nonsense", "--help"});
    EXPECT_EQ(help.code, 0);
    for (const ReportSpec& report : ReportCatalog::all())
        EXPECT_NE(help.out.find(report.name), std::string::npos);
    EXPECT_NE(help.out.find("--print-sql"), std::string::npos);
}

} // namespace
} // namespace korvalt::testing
