#include "database/Database.h"
#include "database/EngineError.h"
#include "support/EngineCases.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

#include <string>
#include <tuple>

namespace korvalt {
namespace {

using test_support::EngineCase;

// The Access fixtures hold the same records as pipe-small.csv, so every
// statement must give the answer it gives on our own SQLite file.
class AccessEngineCases : public ::testing::TestWithParam<std::tuple<const char*, EngineCase>> {};

TEST_P(AccessEngineCases, AnswersAsWorkedOut) {
    const std::string file = std::string(KORVALT_FIXTURES_DIR) + "/" + std::get<0>(GetParam());
    const auto db = OpenDatabase(file);
    test_support::checkEngineCase(*db, std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(PipeSmallMdb, AccessEngineCases,
                         ::testing::Combine(::testing::Values("pipe-small.mdb",
                                                              "pipe-small-v2003.mdb",
                                                              "pipe-small-indexed.mdb"),
                                            ::testing::ValuesIn(test_support::engineQueryCases())),
                         [](const auto& param) {
                             std::string file = std::get<0>(param.param);
                             std::string name;
                             for (const char c : file.substr(0, file.find('.'))) {
                                 name += (c == '-') ? '_' : c;
                             }
                             return name + "_" + std::get<1>(param.param).name;
                         });

TEST(AccessEngine, ChangesOtherThanDeletesAreRefusedAndNothingChanges) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/plant.mdb";
    std::filesystem::copy_file(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.mdb", path);
    const auto db = OpenDatabase(path);
    for (const char* change : {"UPDATE Pipe SET Tag = 'X' WHERE DWG_NAME = 'AREA1.dwg'",
                               "INSERT INTO Pipe (DWG_NAME) VALUES ('NEW.dwg')"}) {
        try {
            db->execute(change);
            ADD_FAILURE() << "accepted: " << change;
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), engine_errors::kReadOnly);
            EXPECT_NE(e.description().find("nothing was changed"), std::string::npos);
        }
    }
    const std::string count = "SELECT * FROM PIPE WHERE DWG_NAME = 'AREA1.dwg'";
    EXPECT_EQ(test_support::readField(*db, count, "Tag").size(), 12u);
    EXPECT_EQ(test_support::readField(*db, "SELECT * FROM PIPE WHERE Tag = 'X'", "Tag").size(), 0u);

    // Deleting is the one change, and it reaches the file.
    db->execute("DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"");
    EXPECT_TRUE(test_support::readField(*db, count, "UNIQUE_ID").empty());
    EXPECT_TRUE(test_support::readField(*OpenDatabase(path), count, "UNIQUE_ID").empty());
}

TEST(AccessEngine, EmptyTableAndMissingTable) {
    const std::string dir = KORVALT_FIXTURES_DIR;
    const auto empty = OpenDatabase(dir + "/pipe-empty.mdb");
    auto rs = empty->openRecordset("SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC");
    EXPECT_TRUE(rs->isEof());
    EXPECT_EQ(rs->recordCount(), 0);

    const auto noPipe = OpenDatabase(dir + "/no-pipe.mdb");
    try {
        noPipe->openRecordset("SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC");
        ADD_FAILURE() << "missing table not reported";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), engine_errors::kTableNotFound);
    }
    EXPECT_EQ(test_support::readField(*noPipe, "SELECT COUNT(*) AS n FROM Valve", "N"),
              std::vector<std::string>{"2"});
}

} // namespace
} // namespace korvalt
