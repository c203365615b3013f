// Timings of the result production on large pipe tables: the search rows
// (mode 1) and the duplicate-tag check (mode 11), the latter also in its
// one-query-per-record form on a small table for comparison.
//
// Not part of the test suite; run build/bin/korvalt_bench.

#include "BenchToolkit.h"
#include "DuplicateTagReference.h"
#include "SyntheticPipe.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "results/clsDataHandler.h"
#include "startup/Module1.h"
#include "ui/ResultsListView.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>

namespace korvalt::bench {

namespace {

constexpr const char* kSearchSql =
    "SELECT * FROM PIPE ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";

// Databases are built or read once and shared by the benchmarks; only one is
// open as gDatabase at a time.
class Databases {
public:
    explicit Databases(std::string accessFile) : m_accessFile(std::move(accessFile)) {}

    bool haveAccessFile() const { return std::filesystem::exists(m_accessFile); }

    void useSynthetic(int records) {
        const std::string key = "synthetic-" + std::to_string(records);
        if (m_current == key) {
            return;
        }
        const std::string path =
            m_dir.path().toStdString() + "/pipe-" + std::to_string(records) + ".db";
        if (!std::filesystem::exists(path)) {
            SyntheticPipe::write(path, records);
        }
        open(key, path);
    }

    void useAccessFile() {
        if (m_current != "access") {
            open("access", m_accessFile);
        }
    }

private:
    void open(const std::string& key, const std::string& path) {
        gDatabase.reset();
        gDatabase = OpenDatabase(path);
        gDatabaseOpen = true;
        m_current = key;
    }

    std::string m_accessFile;
    QTemporaryDir m_dir;
    std::string m_current;
};

void runMode(benchmark::State& state, std::int16_t mode) {
    ResultsListView list;
    for (auto _ : state) {
        state.PauseTiming();
        list.clearItems();
        std::string sql = kSearchSql;
        std::int16_t i = mode;
        state.ResumeTiming();
        clsDataHandler(list).SendToDatabase(sql, i);
    }
    state.counters["rows"] = list.count();
}

void runReference(benchmark::State& state) {
    ResultsListView list;
    for (auto _ : state) {
        state.PauseTiming();
        list.clearItems();
        std::string sql = kSearchSql;
        state.ResumeTiming();
        const auto gateway = std::make_shared<clsDatabaseControl>();
        gDatabaseControl = gateway;
        auto records = gateway->GetRecordset(sql);
        DuplicateTagReference::write(list, records);
        gDatabaseControl.reset();
    }
    state.counters["rows"] = list.count();
}

void registerAll(Databases& dbs, BenchToolkit& toolkit) {
    // Messages the gateway would have shown (none expected).
    auto check = [&toolkit](benchmark::State& state) {
        state.counters["messages"] = toolkit.messages();
    };
    benchmark::RegisterBenchmark("Mode1_Search/sqlite/100000", [&, check](benchmark::State& state) {
        dbs.useSynthetic(100000);
        runMode(state, 1);
        check(state);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Mode1_Search/mdb/100000", [&, check](benchmark::State& state) {
        if (!dbs.haveAccessFile()) {
            state.SkipWithError("pipe-100k.mdb not present");
            for (auto _ : state) {
            }
            return;
        }
        dbs.useAccessFile();
        runMode(state, 1);
        check(state);
    })->Unit(benchmark::kMillisecond);
    // The sorted query alone (a mode with no writer), the floor of every mode.
    benchmark::RegisterBenchmark("Mode5_QueryOnly/sqlite/100000", [&,
                                                                   check](benchmark::State& state) {
        dbs.useSynthetic(100000);
        runMode(state, 5);
        check(state);
    })->Unit(benchmark::kMillisecond);
    for (int records : {2000, 100000}) {
        benchmark::RegisterBenchmark(
            ("Mode11_DuplicateTags/sqlite/" + std::to_string(records)).c_str(),
            [&, check, records](benchmark::State& state) {
                dbs.useSynthetic(records);
                runMode(state, 11);
                check(state);
            })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("Mode11_DuplicateTags/mdb/100000", [&, check](
                                                                        benchmark::State& state) {
        if (!dbs.haveAccessFile()) {
            state.SkipWithError("pipe-100k.mdb not present");
            for (auto _ : state) {
            }
            return;
        }
        dbs.useAccessFile();
        runMode(state, 11);
        check(state);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Mode11_OneQueryPerRecord/sqlite/2000",
                                 [&, check](benchmark::State& state) {
                                     dbs.useSynthetic(2000);
                                     runReference(state);
                                     check(state);
                                 })
        ->Unit(benchmark::kMillisecond);
}

} // namespace

} // namespace korvalt::bench

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    korvalt::bench::BenchToolkit toolkit;
    korvalt::SetToolkit(&toolkit);
    korvalt::gsSupportFooter = korvalt::BuildSupportFooter();
    {
        korvalt::bench::Databases databases(KORVALT_BENCH_ACCESS_FILE);
        korvalt::bench::registerAll(databases, toolkit);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        korvalt::gDatabaseControl.reset();
        korvalt::gDatabase.reset();
    }
    korvalt::SetToolkit(nullptr);
    return 0;
}
