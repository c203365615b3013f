#include "database/Database.h"
#include "database/PipeSchema.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string>

namespace korvalt {
namespace {

constexpr int kBigDrawingRecords = 60000;
constexpr int kOtherRecords = 5000;

// A database whose drawing BIG.dwg is large enough that deleting it takes a
// noticeable time.
void buildDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::string sql = std::string(pipe_schema::kCreatePipeTable) + ";BEGIN;";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "INSERT INTO Pipe VALUES(?1,'PIPE A106 SCH 40 SEAMLESS CARBON',"
                                 "'4\"-P-1001-CS150','CS150','PIP0001','4',4,0,?2,120,'PIPE',?3)",
                                 -1, &insert, nullptr),
              SQLITE_OK);
    for (int id = 1; id <= kBigDrawingRecords + kOtherRecords; ++id) {
        const char* drawing = id <= kBigDrawingRecords ? "BIG.dwg" : "SMALL.dwg";
        const std::string tag = "T-" + std::to_string(id);
        sqlite3_bind_text(insert, 1, drawing, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, tag.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 3, id);
        ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

long countRows(Database& db, const std::string& sql) {
    auto records = db.openRecordset(sql);
    long count = 0;
    for (; !records->isEof(); records->moveNext())
        ++count;
    return count;
}

// Runs the delete in a child process; returns how long it took.
qint64 runDelete(const std::string& path, int killAfterMs, bool* finished) {
    QProcess child;
    child.start(KORVALT_DELETE_CHILD, {QString::fromStdString(path), "BIG.dwg"});
    EXPECT_TRUE(child.waitForStarted(10000));
    EXPECT_TRUE(child.waitForReadyRead(10000)); // "opened"
    QElapsedTimer timer;
    timer.start();
    if (killAfterMs >= 0 && !child.waitForFinished(killAfterMs))
        child.kill();
    child.waitForFinished(30000);
    *finished = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    return timer.elapsed();
}

TEST(InterruptedDelete, KilledDeleteLeavesTheDrawingWholeOrGone) {
    QTemporaryDir dir;
    const std::string original = dir.path().toStdString() + "/original.db";
    buildDatabase(original);

    // How long an uninterrupted delete takes on this machine.
    const std::string timed = dir.path().toStdString() + "/timed.db";
    std::filesystem::copy_file(original, timed);
    bool finished = false;
    const qint64 fullMs = runDelete(timed, -1, &finished);
    ASSERT_TRUE(finished);

    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delay(0, static_cast<int>(fullMs) + 5);
    int interrupted = 0;
    for (int round = 0; round < 12; ++round) {
        const std::string path =
            dir.path().toStdString() + "/round" + std::to_string(round) + ".db";
        std::filesystem::copy_file(original, path);
        const int killAfter = delay(random);
        runDelete(path, killAfter, &finished);
        if (!finished)
            ++interrupted;

        // Opening the file rolls back whatever the killed process left.
        const auto db = OpenDatabase(path);
        const long big = countRows(*db, "SELECT UNIQUE_ID FROM Pipe WHERE DWG_NAME = 'BIG.dwg'");
        EXPECT_TRUE(big == 0 || big == kBigDrawingRecords)
            << "round " << round << " killed after " << killAfter << " ms left " << big;
        if (finished) {
            EXPECT_EQ(big, 0);
        }
        EXPECT_EQ(countRows(*db, "SELECT UNIQUE_ID FROM Pipe WHERE DWG_NAME = 'SMALL.dwg'"),
                  kOtherRecords);
        auto check = db->openRecordset("SELECT * FROM Pipe WHERE UNIQUE_ID = 1");
        EXPECT_EQ(check->isEof(), big == 0);
    }
    // The test only means something when some deletes were really cut short.
    EXPECT_GT(interrupted, 0) << "full delete took " << fullMs << " ms";
}

} // namespace
} // namespace korvalt
