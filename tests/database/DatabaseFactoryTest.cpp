#include "database/Database.h"
#include "database/EngineError.h"
#include "support/PipeCsv.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>

namespace korvalt {
namespace {

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

int openError(const std::string& path) {
    try {
        OpenDatabase(path);
    } catch (const EngineError& e) {
        EXPECT_FALSE(e.description().empty());
        return e.number();
    }
    return 0;
}

class DatabaseFactory : public ::testing::Test {
protected:
    std::string path(const char* name) const { return m_dir.filePath(name).toStdString(); }
    QTemporaryDir m_dir;
};

TEST_F(DatabaseFactory, TellsPathProblemsApart) {
    EXPECT_EQ(openError(path("missing.mdb")), 3024);
    EXPECT_EQ(openError(path("no-folder/pipe.mdb")), 3044);
    EXPECT_EQ(openError(""), 3044);
    EXPECT_EQ(openError("Unknown"), 3044);
    std::filesystem::create_directory(path("folder.mdb"));
    EXPECT_EQ(openError(path("folder.mdb")), 3051);
}

TEST_F(DatabaseFactory, DescriptionsNameThePath) {
    const std::string missing = path("missing.mdb");
    try {
        OpenDatabase(missing);
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_EQ(e.description(), "Could not find file '" + missing + "'.");
    }
    try {
        OpenDatabase("Unknown");
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_EQ(e.description().rfind("'Unknown' isn't a valid path.", 0), 0u);
    }
}

TEST_F(DatabaseFactory, RejectsFilesThatAreNoDatabase) {
    writeFile(path("empty.mdb"), "");
    writeFile(path("text.mdb"), "DWG_NAME,LONG_DESC\nAREA1.dwg,Pipe\n");
    writeFile(path("short.db"), std::string("SQLite for", 10));
    writeFile(path("short.mdb"), std::string("\0\1\0\0Standard J", 14));
    EXPECT_EQ(openError(path("empty.mdb")), 3343);
    EXPECT_EQ(openError(path("text.mdb")), 3343);
    EXPECT_EQ(openError(path("short.db")), 3343);
    EXPECT_EQ(openError(path("short.mdb")), 3343);
}

TEST_F(DatabaseFactory, DamagedSqliteFileFailsWithAnEngineError) {
    std::string content("SQLite format 3\0", 16);
    content += std::string(4000, 'x');
    writeFile(path("damaged.db"), content);
    try {
        auto db = OpenDatabase(path("damaged.db"));
        db->openRecordset("SELECT * FROM PIPE");
        ADD_FAILURE() << "damaged file was read";
    } catch (const EngineError& e) {
        EXPECT_TRUE(e.number() == 3343 || e.number() == 3049) << e.number();
    }
}

TEST_F(DatabaseFactory, RecognisesSqliteByContentNotName) {
    const std::string file = path("pipe.mdb");
    test_support::writePipeSqlite(
        file, test_support::loadPipeCsv(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv"));
    const auto db = OpenDatabase(file);
    EXPECT_EQ(db->path(), file);
    auto rs = db->openRecordset("SELECT * FROM PIPE WHERE UNIQUE_ID = 40000");
    ASSERT_FALSE(rs->isEof());
    EXPECT_EQ(rs->fields("Tag"), Value::text("P-50"));
}

} // namespace
} // namespace korvalt
