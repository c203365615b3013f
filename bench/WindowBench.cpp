// Timings of the main window's own commands on large databases, from the
// click to the filled, counted list: opening the file, the load step that
// fills the eight filter lists, Search with every filter at "All", and the
// duplicate-tag check. Prints one line per figure.
//
// Not part of the test suite; run build/bin/korvalt_window_bench [records].

#include "BenchToolkit.h"
#include "SyntheticPipe.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "query/clsComboHandler.h"
#include "startup/Module1.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace korvalt::bench {
namespace {

double millisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void report(const std::string& database, const char* what, double ms, const std::string& extra) {
    std::printf("%-28s %-34s %9.1f ms  %s\n", database.c_str(), what, ms, extra.c_str());
}

void measure(const std::string& label, const std::string& path, BenchToolkit& toolkit) {
    prepareProcess(path);

    report(label, "open", millisecondsOf([&] { gDatabase = OpenDatabase(path); }), "");
    gDatabaseOpen = true;
    frmTaviDatabase* window = nullptr;
    report(label, "load step (fills 8 lists)",
           millisecondsOf([&] { window = &frmTaviDatabaseSlot.get(); }), "");
    report(label, "refill the 8 lists", millisecondsOf([] { clsComboHandler().FillComboBox(); }),
           "");
    for (int run = 1; run <= 2; ++run) {
        const double ms = millisecondsOf([&] { window->cmdSearchAll->click(); });
        report(label, run == 1 ? "Search, all filters at All" : "Search again", ms,
               window->frmResults->title().toStdString());
    }
    const double sortMs = millisecondsOf([&] {
        window->lstvResults_ColumnClick(9);
        (void)window->lstvResults->text(0);
    });
    report(label, "sort by Tag (header click)", sortMs, "");
    const double duplicatesMs = millisecondsOf([&] { window->CmdFindDuplicatetags->click(); });
    report(label, "Find Duplicate Tags", duplicatesMs, window->frmResults->title().toStdString());
    if (toolkit.messages() != 0)
        std::printf("%-28s %d message(s) would have been shown\n", label.c_str(),
                    toolkit.messages());
    ResetProcessState();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
} // namespace korvalt::bench

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    korvalt::bench::BenchToolkit toolkit;
    korvalt::SetToolkit(&toolkit);
    QTemporaryDir dir;
    const std::string synthetic = dir.path().toStdString() + "/synthetic.db";
    korvalt::SyntheticPipe::write(synthetic, records);
    korvalt::bench::measure("sqlite " + std::to_string(records), synthetic, toolkit);
    if (std::filesystem::exists(KORVALT_BENCH_ACCESS_FILE))
        korvalt::bench::measure("access pipe-100k.mdb", KORVALT_BENCH_ACCESS_FILE, toolkit);
    else
        std::printf("%s not found: Access figures skipped\n", KORVALT_BENCH_ACCESS_FILE);
    korvalt::SetToolkit(nullptr);
    return 0;
}
