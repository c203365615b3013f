// Where the program stands on a million records: each command of the main
// window, the command-line report and opening an Access file, as a ratio to
// an anchor measured in the same run on the same content (see EnginePass.h):
// SQLite's own pass over the statement, the sqlite3 shell writing the same
// sorted statement as CSV, or mdb-export of the table. The machine is shared,
// so only ratios from one run mean anything.
//
// Not part of the test suite; run
//   build/bin/korvalt_million_bench [records=1000000] [runs=3] [both|sqlite|access]
// on a synthetic SQLite file of that many records, then on the 100,000-record
// Access file, each in a process of its own. Medians of `runs` runs, fewer for a side whose first
// run shows it would overrun its time budget.

#include "AccessBench.h"
#include "BenchToolkit.h"
#include "EnginePass.h"
#include "SyntheticPipe.h"

#include "database/Database.h"
#include "database/JetSql.h"
#include "database/SqliteDatabase.h"
#include "database/clsDatabaseControl.h"
#include "query/QueryBuilder.h"
#include "query/clsComboHandler.h"
#include "results/ReportCatalog.h"
#include "startup/Module1.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace korvalt::bench {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// The filler statements of the eight lists, in the order the window sends
// them, with the list each fills and the fixed entries it adds.
struct ListFiller {
    const char* column;
    QComboBox* frmTaviDatabase::*list;
    int fixedEntries; // "All", and the short list's patterns
};
constexpr std::array<ListFiller, 8> kLists = {{
    {"DWG_NAME", &frmTaviDatabase::cmbDrawName, 1},
    {"SPEC_FILE", &frmTaviDatabase::cmbSpec, 1},
    {"SHORT_DESC", &frmTaviDatabase::cmbShort, 5},
    {"LONG_DESC", &frmTaviDatabase::CmbLong, 1},
    {"TAG", &frmTaviDatabase::cmbTag, 1},
    {"DB_CODE", &frmTaviDatabase::CmbPartCode, 1},
    {"LINE_NUM", &frmTaviDatabase::cmbLineNum, 1},
    {"ALPHA_SIZE", &frmTaviDatabase::cmbSize, 1},
}};
std::string listStatement(const char* column) {
    return std::string("SELECT DISTINCT ") + column + " FROM PIPE ORDER BY " + column + " ASC";
}

// The statements as the window builds them with every list at "All".
std::string searchStatement() {
    return QueryBuilder::build(ReportCatalog::get("search").baseStatement, FilterTexts{}, true);
}
std::string duplicateStatement() {
    return QueryBuilder::build(ReportCatalog::get("duplicate-tags").baseStatement, FilterTexts{},
                               true);
}

struct Subject {
    std::string label;
    std::string file;       // what the program opens
    std::string anchorFile; // the SQLite file with the same content
    bool access = false;
};

struct Anchors {
    Timing lists;
    std::array<PassResult, 8> listRows{};
    Timing search;
    PassResult searchRows;
    Timing duplicates;
    PassResult duplicateRows;
    Timing shell;
    double shellPeakMiB = 0;
    long long shellLines = 0;
    Timing mdbExport;
};

std::string shortened(const std::string& text) {
    return text.size() > 150 ? text.substr(0, 147) + "..." : text;
}

// Prints what the engine received while `log` recorded, and whether the
// anchor's statements were among it.
void printStatements(const StatementLog& log, const std::vector<std::string>& anchorJet) {
    int shown = 0;
    for (const auto& [sql, count] : log.seen()) {
        if (shown++ < 12)
            std::printf("      engine got %dx: %s\n", count, shortened(sql).c_str());
    }
    if (shown > 12)
        std::printf("      ... and %d more distinct statements\n", shown - 12);
    std::vector<std::string> missing;
    for (const std::string& jet : anchorJet) {
        if (log.seen().count(JetSql::toSqlite(jet)) == 0)
            missing.push_back(jet);
    }
    if (missing.size() > 1 && missing.size() == anchorJet.size())
        std::printf("      (none of the %zu anchor statements reached the engine as translated)\n",
                    missing.size());
    else
        for (const std::string& jet : missing)
            std::printf("      (not sent to the engine as translated: %s)\n", jet.c_str());
}

Anchors measureAnchors(const Subject& s, int runs, const std::string& dir, ChildRunner& children,
                       Report& report) {
    Anchors a;
    const EnginePass engine(s.anchorFile);
    (void)engine.run("SELECT * FROM PIPE"); // the file into the system's cache
    std::printf("  engine's pass on %s\n", s.anchorFile.c_str());
    a.lists = repeat(runs, [&](int) {
        for (std::size_t i = 0; i < kLists.size(); ++i)
            a.listRows[i] = engine.run(withNocase(listStatement(kLists[i].column)));
    });
    for (std::size_t i = 0; i < kLists.size(); ++i)
        std::printf("    %8.1f ms %8lld rows (%lld Null)  %s\n", a.listRows[i].ms,
                    a.listRows[i].rows, a.listRows[i].nullFirst,
                    withNocase(listStatement(kLists[i].column)).c_str());
    a.search = repeat(runs, [&](int) { a.searchRows = engine.run(withNocase(searchStatement())); });
    std::printf("    %8.1f ms %8lld rows  %s  [%s]\n", a.search.ms, a.searchRows.rows,
                withNocase(searchStatement()).c_str(), a.search.note().c_str());
    if (duplicateStatement() == searchStatement()) {
        a.duplicates = a.search;
        a.duplicateRows = a.searchRows;
    } else {
        a.duplicates = repeat(
            runs, [&](int) { a.duplicateRows = engine.run(withNocase(duplicateStatement())); });
        std::printf("    %8.1f ms %8lld rows  %s\n", a.duplicates.ms, a.duplicateRows.rows,
                    withNocase(duplicateStatement()).c_str());
    }
    const std::string script = dir + "/shell.sql";
    const std::string shellCsv = dir + "/shell.csv";
    std::ofstream(script) << ".mode csv\n.output " << shellCsv << "\n"
                          << withNocase(searchStatement()) << ";\n";
    a.shell = repeat(runs, [&](int) {
        const ChildResult r =
            children.run({"sqlite3", "-batch", s.anchorFile}, script, "/dev/null");
        a.shellPeakMiB = std::max(a.shellPeakMiB, r.peakMiB);
        if (r.status != 0)
            report.problem("sqlite3 shell exited with " + std::to_string(r.status));
    });
    a.shellLines = linesOf(shellCsv);
    std::printf("    %8.1f ms %8lld lines sqlite3 shell .mode csv of the search statement [%s]\n",
                a.shell.ms, a.shellLines, a.shell.note().c_str());
    report.check("sqlite3 shell CSV lines against the engine's pass", a.shellLines,
                 a.searchRows.rows);
    if (s.access) {
        a.mdbExport = repeat(runs, [&](int) {
            const ChildResult r = children.run({"mdb-export", s.file, "Pipe"}, "", "/dev/null");
            if (r.status != 0)
                report.problem("mdb-export exited with " + std::to_string(r.status));
        });
        std::printf("    %8.1f ms mdb-export %s Pipe [%s]\n", a.mdbExport.ms, s.file.c_str(),
                    a.mdbExport.note().c_str());
    }
    std::fflush(stdout);
    return a;
}

void dropWindow() {
    frmTaviDatabaseSlot.unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::string messagesNote(BenchToolkit& toolkit, int& before) {
    const int now = toolkit.messages();
    const int shown = now - before;
    before = now;
    return shown == 0 ? "" : "; " + std::to_string(shown) + " MESSAGE(S) SHOWN";
}

// Sum of the UTF-8 bytes of every cell the list shows.
long long listTextBytes(const ResultsListView& list) {
    long long bytes = 0;
    const int columns = list.columnCount();
    for (int position = 0; position < list.count(); ++position) {
        bytes += static_cast<long long>(list.text(position).size());
        for (int k = 1; k < columns; ++k)
            bytes += static_cast<long long>(list.subItem(position, k).size());
    }
    return bytes;
}

// The window's commands; returns the median time of opening the database.
double windowSteps(const Subject& s, const Anchors& a, int runs, const std::string& dir,
                   BenchToolkit& toolkit, Report& report) {
    int messages = toolkit.messages();
    prepareProcess(s.file);
    // Earlier copies are let go after the timing, so closing one is not counted.
    std::vector<std::unique_ptr<Database>> opened;
    const Timing open =
        repeat(s.access ? runs : 1, [&](int) { opened.push_back(OpenDatabase(s.file)); });
    gDatabase = std::move(opened.back());
    opened.clear();
    gDatabaseOpen = true;
    report.add(
        {"open the database (OpenDatabase)", open.ms, s.access ? a.mdbExport.ms : 0,
         s.access ? 1.0 : 0, "ms",
         (s.access ? "anchor mdb-export; " : "") + open.note() + messagesNote(toolkit, messages)});
    std::optional<StatementLog> log;
    if (auto* sqlite = dynamic_cast<SqliteDatabase*>(gDatabase.get()))
        log.emplace(sqlite->handle());
    const auto recordFirst = [&](int run) {
        if (log && run == 0)
            log->start();
    };
    const auto printFirst = [&](const char* step, const std::vector<std::string>& anchorJet) {
        if (!log)
            return;
        log->stop();
        std::printf("    %s, first run:\n", step);
        printStatements(*log, anchorJet);
    };
    std::vector<std::string> listJet;
    for (const ListFiller& filler : kLists)
        listJet.push_back(listStatement(filler.column));

    frmTaviDatabase* window = nullptr;
    const Timing load = repeat(runs, [&](int run) {
        dropWindow();
        recordFirst(run);
        window = &frmTaviDatabaseSlot.get();
        if (run == 0)
            printFirst("load step", listJet);
    });
    report.add({"window ready (load step, 8 lists)", load.ms, a.lists.ms, 0.5, "ms",
                load.note() + messagesNote(toolkit, messages)});
    const Timing refill = repeat(runs, [&](int) { clsComboHandler().FillComboBox(); });
    std::string entries = "entries";
    for (std::size_t i = 0; i < kLists.size(); ++i) {
        const int shown = (window->*kLists[i].list)->count() - kLists[i].fixedEntries;
        entries += " " + std::to_string(shown);
        report.check(std::string("list ") + kLists[i].column, shown,
                     a.listRows[i].rows - a.listRows[i].nullFirst);
    }
    report.add({"refill the 8 lists (after a delete)", refill.ms, a.lists.ms, 0.5, "ms",
                refill.note() + "; " + entries + messagesNote(toolkit, messages)});

    long long rssBefore = 0;
    long long anonBefore = 0;
    long long rssAfter = 0;
    long long anonAfter = 0;
    const Timing search = repeat(runs, [&](int run) {
        if (run == 0) {
            window->lstvResults->clearItems();
            rssBefore = residentKiB("VmRSS");
            anonBefore = residentKiB("RssAnon");
            recordFirst(run);
        }
        window->cmdSearchAll->click();
        if (run == 0) {
            printFirst("Search", {searchStatement()});
            rssAfter = residentKiB("VmRSS");
            anonAfter = residentKiB("RssAnon");
        }
    });
    const int searchRows = window->lstvResults->count();
    const std::string title = window->frmResults->title().toStdString();
    if (title.find(std::to_string(searchRows)) == std::string::npos)
        report.problem("Search: the frame title \"" + title + "\" does not show the count");
    report.check("Search", searchRows, a.searchRows.rows);
    report.add({"Search, every list at All", search.ms, a.search.ms, 1.2, "ms",
                search.note() + "; \"" + title + "\"" + messagesNote(toolkit, messages)});

    const long long textBytes = listTextBytes(*window->lstvResults);
    const double growthMiB = static_cast<double>(rssAfter - rssBefore) / 1024.0;
    report.add({"memory of the window holding the rows", growthMiB,
                static_cast<double>(textBytes) / kMiB, 1.5, "MiB",
                "VmRSS growth against the cells' text (MiB); RssAnon growth " +
                    std::to_string((anonAfter - anonBefore) / 1024) + " MiB"});

    const std::string exported = dir + "/window.csv";
    const Timing exportTiming = repeat(runs, [&](int) {
        std::string file = exported;
        window->WriteList(file);
    });
    report.check("window export CSV lines (less title, blank, heading)", linesOf(exported) - 3,
                 a.shellLines);
    report.add({"export of the search list to CSV (WriteList)", exportTiming.ms, a.shell.ms, 1.2,
                "ms",
                "anchor sqlite3 shell; " + exportTiming.note() + messagesNote(toolkit, messages)});

    const Timing duplicates = repeat(runs, [&](int run) {
        recordFirst(run);
        window->CmdFindDuplicatetags->click();
        if (run == 0)
            printFirst("Find Duplicate Tags", {duplicateStatement()});
    });
    report.add({"Find Duplicate Tags", duplicates.ms, a.duplicates.ms, 1.5, "ms",
                duplicates.note() + "; \"" + window->frmResults->title().toStdString() +
                    "\"; anchor " + std::to_string(a.duplicateRows.rows) + " rows" +
                    messagesNote(toolkit, messages)});
    log.reset();
    ResetProcessState();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return open.ms;
}

void reportProgramSteps(const Subject& s, const Anchors& a, int runs, const std::string& dir,
                        double openMs, ChildRunner& children, Report& report) {
    const std::string output = dir + "/report.csv";
    double peakMiB = 0;
    const Timing timing = repeat(runs, [&](int) {
        const ChildResult r = children.run({KORVALT_REPORT_PROGRAM, "--database", s.file,
                                            "--report", "search", "--output", output},
                                           "", "/dev/null");
        peakMiB = std::max(peakMiB, r.peakMiB);
        if (r.status != 0)
            report.problem("korvalt-report exited with " + std::to_string(r.status));
    });
    report.check("korvalt-report CSV lines (less title, blank, heading)", linesOf(output) - 3,
                 a.shellLines);
    report.add({"korvalt-report --report search to a file", timing.ms, a.shell.ms, 1.2, "ms",
                "anchor sqlite3 shell; " + timing.note() +
                    (s.access ? "; includes reading the .mdb (open alone " +
                                    std::to_string(static_cast<long long>(openMs)) + " ms)"
                              : "")});
    report.add({"  peak memory, korvalt-report / sqlite3", peakMiB, a.shellPeakMiB, 0, "MiB",
                "ru_maxrss in MiB, highest of the runs"});
}

void measure(const Subject& s, int runs, BenchToolkit& toolkit, ChildRunner& children) {
    std::printf("\n-- %s: %s\n", s.label.c_str(), s.file.c_str());
    std::fflush(stdout);
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    Report report;
    const std::vector<std::string> indexesBefore = EnginePass(s.anchorFile).indexes();
    const Anchors anchors = measureAnchors(s, runs, folder, children, report);
    const double openMs = windowSteps(s, anchors, runs, folder, toolkit, report);
    reportProgramSteps(s, anchors, runs, folder, openMs, children, report);
    const std::vector<std::string> indexesAfter = EnginePass(s.anchorFile).indexes();
    if (indexesAfter != indexesBefore) {
        std::printf("  note: the program changed the file's indexes while it ran; the anchors "
                    "were measured before, on:\n");
        for (const std::string& index : indexesBefore)
            std::printf("    before: %s\n", index.c_str());
        for (const std::string& index : indexesAfter)
            std::printf("    after:  %s\n", index.c_str());
    }
    report.print(s.label);
}

} // namespace
} // namespace korvalt::bench

int main(int argc, char** argv) {
    using namespace korvalt::bench;
    ChildRunner children; // before the benchmark grows
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
    const std::string side = argc > 3 ? argv[3] : "both";
    if (side == "both") {
        // The program opens one database per start, so each side runs in a
        // process of its own: what a million rows leave behind in the heap
        // must not weigh on the Access figures.
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        int status = 0;
        for (const char* one : {"sqlite", "access"}) {
            std::fflush(stdout);
            status |=
                children.run({self, std::to_string(records), std::to_string(runs), one}, "", "")
                    .status;
        }
        return status == 0 ? 0 : 1;
    }
    BenchToolkit toolkit;
    korvalt::SetToolkit(&toolkit);
    QTemporaryDir dir;
    if (side == "sqlite") {
        const std::string synthetic = dir.path().toStdString() + "/synthetic.db";
        std::printf("korvalt_million_bench records=%d runs=%d (fewer for a side of a step whose "
                    "runs would take over %.0f s)\n",
                    records, runs, kStepBudgetMs / 1000);
        std::printf("writing %d synthetic records: %.0f ms\n", records,
                    millisecondsOf([&] { korvalt::SyntheticPipe::write(synthetic, records); }));
        measure({"sqlite, " + std::to_string(records) + " synthetic records", synthetic, synthetic,
                 false},
                runs, toolkit, children);
    } else if (std::filesystem::exists(KORVALT_BENCH_ACCESS_FILE)) {
        // The anchor reads an SQLite file holding what the program reads from
        // the Access file: the same importer's copy, saved with VACUUM INTO.
        const std::string copy = dir.path().toStdString() + "/access-copy.db";
        std::printf("\ncopying %s into SQLite: %.0f ms\n", KORVALT_BENCH_ACCESS_FILE,
                    millisecondsOf([&] { copyAccessToSqlite(KORVALT_BENCH_ACCESS_FILE, copy); }));
        measure({"access, pipe-100k.mdb", KORVALT_BENCH_ACCESS_FILE, copy, true}, runs, toolkit,
                children);
    } else {
        std::printf("%s not found: Access figures skipped\n", KORVALT_BENCH_ACCESS_FILE);
    }
    std::printf("\n%d message(s) would have been shown in all\n", toolkit.messages());
    korvalt::SetToolkit(nullptr);
    return 0;
}
