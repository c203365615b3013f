// The index side of deleting one drawing from an Access file of 100,000
// records: checking every index tree of the table, and taking the drawing's
// rows out of every tree, each on a fresh view of the file (as the writer
// opens it). Prints medians of several runs.
//
// Not part of the test suite; run build/bin/korvalt_index_bench [runs].

#include "database/access/IndexTree.h"
#include "database/access/MdbImport.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"

#include <sqlite3.h>

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

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Clock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }
};

// The drawing of about 330 records and the addresses of its rows, chosen as
// the delete benchmark chooses it.
struct Victim {
    std::string drawing;
    std::uint32_t tdefPage = 0;
    std::unordered_set<access::RowId> rows;
};

Victim pickDrawing(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    Victim victim;
    for (const MdbImport::Table& t : MdbImport::importInto(path, db))
        if (t.name == "Pipe")
            victim.tdefPage = t.tdefPage;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT DWG_NAME FROM Pipe GROUP BY DWG_NAME "
                       "ORDER BY abs(COUNT(*) - 330), DWG_NAME LIMIT 1",
                       -1, &s, nullptr);
    if (sqlite3_step(s) == SQLITE_ROW)
        victim.drawing = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    sqlite3_prepare_v2(db, "SELECT rowid FROM Pipe WHERE DWG_NAME = ?", -1, &s, nullptr);
    sqlite3_bind_text(s, 1, victim.drawing.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(s) == SQLITE_ROW)
        victim.rows.insert(static_cast<access::RowId>(sqlite3_column_int64(s, 0)));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return victim;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::string path = KORVALT_BENCH_ACCESS_FILE;
    if (!std::filesystem::exists(path)) {
        std::printf("%s not found: nothing measured\n", path.c_str());
        return 1;
    }
    const Victim victim = pickDrawing(path);
    std::vector<std::uint32_t> roots;
    {
        access::PageFile file(path);
        for (const access::RealIndex& index : access::readTableDef(file, victim.tdefPage).realIndexes)
            roots.push_back(index.rootPage);
    }
    std::printf("file %s; drawing %s, %zu records; %zu indexes; %d runs\n", path.c_str(),
                victim.drawing.c_str(), victim.rows.size(), roots.size(), runs);

    std::vector<double> checks, removals;
    std::size_t faults = 0, entries = 0, removed = 0, changed = 0;
    for (int run = 0; run < runs; ++run) {
        {
            access::PageFile file(path);
            const Clock clock;
            faults = entries = 0;
            for (const std::uint32_t root : roots) {
                const access::IndexCheck check = access::checkIndex(file, victim.tdefPage, root);
                faults += check.faults.size();
                entries += check.rows.size();
            }
            checks.push_back(clock.ms());
        }
        {
            access::PageFile file(path);
            const Clock clock;
            removed = 0;
            for (const std::uint32_t root : roots)
                removed += access::removeIndexRows(file, victim.tdefPage, root, victim.rows);
            removals.push_back(clock.ms());
            changed = file.changes().size();
        }
    }
    std::printf("%-40s %8.1f ms  (%zu entries, %zu faults)\n", "checkIndex, all indexes",
                median(checks), entries, faults);
    std::printf("%-40s %8.1f ms  (%zu entries removed, %zu pages changed)\n",
                "removeIndexRows, all indexes", median(removals), removed, changed);
    return 0;
}
