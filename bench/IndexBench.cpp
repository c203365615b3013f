// The index side of deleting one drawing from an Access file of 100,000
// records: checking every index tree of the table, and taking the drawing's
// rows out of every tree, each on a fresh view of the file (as the writer
// opens it). Prints medians of several runs.
//
// Not part of the test suite; run build/bin/korvalt_index_bench [runs].

#include "AccessBench.h"

#include "database/access/IndexTree.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using namespace korvalt;
using bench::median;

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Wall time, and the CPU time that other work on a shared machine leaves
// alone.
struct Clock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double cpuStart = cpuMs();
    double ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }
    double cpu() const { return cpuMs() - cpuStart; }
};

struct Timings {
    std::vector<double> wall, cpu;
    void add(const Clock& clock) {
        wall.push_back(clock.ms());
        cpu.push_back(clock.cpu());
    }
    void print(const char* what, const std::string& note) const {
        std::printf("%-44s %7.1f / %5.1f, %5.1f  (%s)\n", what, median(wall),
                    *std::min_element(wall.begin(), wall.end()), median(cpu), note.c_str());
    }
};

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::string path = KORVALT_BENCH_ACCESS_FILE;
    if (!bench::accessFileAt(path))
        return 1;
    const bench::DrawingToDelete picked = bench::pickDrawing(path);
    struct {
        std::string drawing;
        std::uint32_t tdefPage;
        std::unordered_set<access::RowId> rows;
    } victim{picked.drawing, picked.tdefPage, {picked.rows.begin(), picked.rows.end()}};
    std::vector<std::uint32_t> roots;
    {
        access::PageFile file(path);
        for (const access::RealIndex& index :
             access::readTableDef(file, victim.tdefPage).realIndexes)
            roots.push_back(index.rootPage);
    }
    std::printf("file %s; drawing %s, %zu records; %zu indexes; %d runs\n", path.c_str(),
                victim.drawing.c_str(), victim.rows.size(), roots.size(), runs);

    // What every variant must pay: reading the trees' pages into a fresh
    // view, in as few reads as the page file can make.
    std::vector<std::uint32_t> treePages;
    {
        access::PageFile file(path);
        for (const std::uint32_t root : roots)
            for (const auto& page :
                 access::scanIndexTree(file, victim.tdefPage, root, access::ExpandEntries::Ends)
                     .pages)
                treePages.push_back(page.number);
    }

    Timings reads, checks, removals, warmRemovals;
    std::size_t faults = 0, entries = 0, removed = 0, changed = 0;
    for (int run = 0; run < runs; ++run) {
        {
            access::PageFile file(path);
            const Clock clock;
            file.preload(treePages);
            for (const std::uint32_t number : treePages)
                (void)file.page(number);
            reads.add(clock);
        }
        {
            access::PageFile file(path);
            const Clock clock;
            faults = entries = 0;
            for (const std::uint32_t root : roots) {
                const access::IndexCheck check = access::checkIndex(file, victim.tdefPage, root);
                faults += check.faults.size();
                entries += check.rows.size();
            }
            checks.add(clock);
            // As the writer runs it: on the view the check has just read.
            const Clock warm;
            for (const std::uint32_t root : roots)
                (void)access::removeIndexRows(file, victim.tdefPage, root, victim.rows);
            warmRemovals.add(warm);
        }
        {
            access::PageFile file(path);
            const Clock clock;
            removed = 0;
            for (const std::uint32_t root : roots)
                removed += access::removeIndexRows(file, victim.tdefPage, root, victim.rows);
            removals.add(clock);
            changed = file.changes().size();
        }
    }
    std::printf("%-44s %s\n", "", "wall median / min, CPU median (ms)");
    reads.print("reading every index page", std::to_string(treePages.size()) + " pages");
    checks.print("checkIndex, all indexes",
                 std::to_string(entries) + " entries, " + std::to_string(faults) + " faults");
    removals.print("removeIndexRows, all indexes", std::to_string(removed) + " entries removed, " +
                                                       std::to_string(changed) + " pages changed");
    warmRemovals.print("  the same after checkIndex on the view", "pages read already");
    return 0;
}
