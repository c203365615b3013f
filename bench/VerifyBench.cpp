// The structural check of the Pipe table of an Access file of 100,000
// records, as the delete runs it on every file it changes: the whole of
// verifyTable, then its parts apart (the walk over the data pages, the check
// of each index tree, the cross-check of each index's rows against the live
// rows), each on a fresh view of the file as the writer opens it. Prints
// medians of several runs; the page cache is warmed by a first, untimed run.
//
// Not part of the test suite; run build/bin/korvalt_verify_bench [runs].

#include "AccessBench.h"

#include "database/access/DataScan.h"
#include "database/access/IndexTree.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"
#include "database/access/TableVerifier.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace korvalt;
using bench::median;

struct Clock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }
};

struct Figures {
    std::vector<double> total, walk, indexes, cross;
    std::size_t faults = 0, live = 0, entries = 0;
};

void measure(const std::string& path, std::uint32_t tdef, Figures& out) {
    {
        access::PageFile file(path);
        const Clock clock;
        const access::TableDef table = access::readTableDef(file, tdef);
        out.faults = access::verifyTable(file, table).size();
        out.total.push_back(clock.ms());
    }
    access::PageFile file(path);
    const access::TableDef table = access::readTableDef(file, tdef);
    access::FaultList faults;
    Clock clock;
    const access::TableRows rows = access::scanTableRows(file, table, faults);
    out.walk.push_back(clock.ms());
    out.live = rows.live.size();

    std::vector<access::IndexCheck> checks;
    clock = Clock();
    for (const access::RealIndex& index : table.realIndexes)
        checks.push_back(access::checkIndex(file, table.page, index.rootPage));
    out.indexes.push_back(clock.ms());

    out.entries = 0;
    clock = Clock();
    for (std::size_t k = 0; k < checks.size(); ++k) {
        access::compareIndexRows(table, k, checks[k].rows, rows, faults);
        out.entries += checks[k].rows.size();
    }
    out.cross.push_back(clock.ms());
    out.faults += faults.count();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::string path = KORVALT_BENCH_ACCESS_FILE;
    if (!bench::accessFileAt(path))
        return 1;
    const std::uint32_t tdef = bench::pickDrawing(path).tdefPage;
    Figures warm;
    measure(path, tdef, warm);
    Figures f;
    for (int run = 0; run < runs; ++run)
        measure(path, tdef, f);
    std::printf("file %s, Pipe table: %zu live rows, %zu index entries, %zu faults; %d runs\n",
                path.c_str(), f.live, f.entries, f.faults, runs);
    std::printf("%-36s %8.2f ms\n", "verifyTable, in all", median(f.total));
    std::printf("%-36s %8.2f ms\n", "  data walk (scanTableRows)", median(f.walk));
    std::printf("%-36s %8.2f ms\n", "  index trees (checkIndex, all)", median(f.indexes));
    std::printf("%-36s %8.2f ms\n", "  cross-check of rows (all indexes)", median(f.cross));
    std::printf("%-36s %8.2f ms\n", "  data walk + cross-check", median(f.walk) + median(f.cross));
    return f.faults == 0 ? 0 : 2;
}
