#include "AccessBench.h"

#include "database/access/MdbImport.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace korvalt::bench {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double millisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

bool accessFileAt(const std::string& path) {
    if (std::filesystem::exists(path))
        return true;
    std::printf("%s not found: nothing measured\n", path.c_str());
    return false;
}

DrawingToDelete pickDrawing(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    DrawingToDelete victim;
    for (const MdbImport::Table& t : MdbImport::importInto(path, db)) {
        if (t.name == "Pipe")
            victim.tdefPage = t.tdefPage;
    }
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
        victim.rows.push_back(static_cast<access::RowId>(sqlite3_column_int64(s, 0)));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return victim;
}

} // namespace korvalt::bench
