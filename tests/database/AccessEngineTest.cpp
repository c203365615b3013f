#include "database/Database.h"
#include "database/EngineError.h"
#include "support/EngineCases.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace korvalt {
namespace {

using test_support::readField;

const std::string kFixtures = std::string(KORVALT_FIXTURES_DIR) + "/";

// The Access fixtures hold the records of pipe-small.csv, so every statement
// must give the answer it gives on our own SQLite file.
TEST(AccessEngine, AnswersEveryEngineCase) {
    for (const char* file : {"pipe-small.mdb", "pipe-small-v2003.mdb", "pipe-small-indexed.mdb"}) {
        SCOPED_TRACE(file);
        const auto db = OpenDatabase(kFixtures + file);
        for (const auto& c : test_support::engineQueryCases())
            test_support::checkEngineCase(*db, c);
    }
}

TEST(AccessEngine, OnlyDeletesChangeTheFile) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/plant.mdb";
    std::filesystem::copy_file(kFixtures + "pipe-small.mdb", path);
    const auto db = OpenDatabase(path);
    for (const char* change : {"UPDATE Pipe SET Tag = 'X' WHERE DWG_NAME = 'AREA1.dwg'",
                               "INSERT INTO Pipe (DWG_NAME) VALUES ('NEW.dwg')"}) {
        try {
            db->execute(change);
            ADD_FAILURE() << "accepted: " << change;
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), 3027);
            EXPECT_NE(e.description().find("nothing was changed"), std::string::npos);
        }
    }
    const std::string area1 = "SELECT * FROM PIPE WHERE DWG_NAME = 'AREA1.dwg'";
    EXPECT_EQ(readField(*db, area1, "Tag").size(), 12u);
    db->execute("DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"");
    EXPECT_TRUE(readField(*db, area1, "UNIQUE_ID").empty());
    EXPECT_TRUE(readField(*OpenDatabase(path), area1, "UNIQUE_ID").empty());

    EXPECT_TRUE(readField(*OpenDatabase(kFixtures + "pipe-empty.mdb"),
                          "SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC", "DWG_NAME")
                    .empty());
    const auto noPipe = OpenDatabase(kFixtures + "no-pipe.mdb");
    try {
        noPipe->openRecordset("SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC");
        ADD_FAILURE() << "missing table not reported";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), 3078);
    }
}

} // namespace
} // namespace korvalt
