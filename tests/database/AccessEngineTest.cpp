#include "database/Database.h"
#include "support/EngineCases.h"

#include <gtest/gtest.h>

#include <string>

namespace korvalt {
namespace {

// The Access fixtures hold the records of pipe-small.csv, so every statement
// must give the answer it gives on our own SQLite file.
TEST(AccessEngine, AnswersEveryEngineCase) {
    for (const char* file : {"pipe-small.mdb", "pipe-small-v2003.mdb", "pipe-small-indexed.mdb"}) {
        SCOPED_TRACE(file);
        const auto db = OpenDatabase(std::string(KORVALT_FIXTURES_DIR) + "/" + file);
        for (const auto& c : test_support::engineQueryCases())
            test_support::checkEngineCase(*db, c);
    }
}

} // namespace
} // namespace korvalt
