// A delete inside an Access file killed at random moments: the file at its
// path is always the old one or the new one, whole, and the next delete
// runs as if nothing had happened.

#include "database/Database.h"
#include "database/access/FileReplacement.h"
#include "support/AccessFiles.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace korvalt {
namespace {

using namespace test_support;

const std::string kHundredK = std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-100k.mdb";

// Runs the delete in a child process, killed after `killAfterMs` unless
// negative; returns how long it ran and whether it finished.
qint64 runDelete(const std::string& path, const std::string& drawing, int killAfterMs,
                 bool* finished) {
    QProcess child;
    child.start(KORVALT_DELETE_CHILD,
                {QString::fromStdString(path), QString::fromStdString(drawing)});
    EXPECT_TRUE(child.waitForStarted(10000));
    EXPECT_TRUE(child.waitForReadyRead(30000)); // "opened": the file is read
    QElapsedTimer timer;
    timer.start();
    if (killAfterMs >= 0 && !child.waitForFinished(killAfterMs))
        child.kill();
    child.waitForFinished(60000);
    *finished = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    return timer.elapsed();
}

TEST(InterruptedAccessDelete, KilledDeleteLeavesTheOldFileOrTheNewOne) {
    QTemporaryDir dir;
    const std::string original = copyFixture(kHundredK, dir.path().toStdString());
    const std::string originalBytes = fileBytes(original);
    const Imported before = importFile(original);
    const std::uint32_t tdef = before.table("Pipe").tdefPage;
    // The drawing with the most records: the longest file work.
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(before.db.get(),
                       "SELECT DWG_NAME, COUNT(*) AS n FROM Pipe GROUP BY DWG_NAME ORDER BY n "
                       "DESC LIMIT 1",
                       -1, &raw, nullptr);
    ASSERT_EQ(sqlite3_step(raw), SQLITE_ROW);
    const std::string drawing = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    const long records = sqlite3_column_int64(raw, 1);
    sqlite3_finalize(raw);

    const std::string timed = dir.path().toStdString() + "/timed.mdb";
    std::filesystem::copy_file(original, timed);
    bool finished = false;
    const qint64 fullMs = runDelete(timed, drawing, -1, &finished);
    ASSERT_TRUE(finished);
    const std::string newBytes = fileBytes(timed);
    ASSERT_NE(newBytes, originalBytes);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delay(0, static_cast<int>(fullMs));
    int interrupted = 0;
    const std::string path = dir.path().toStdString() + "/plant.mdb";
    for (int round = 0; round < 8; ++round) {
        std::filesystem::copy_file(original, path,
                                   std::filesystem::copy_options::overwrite_existing);
        const int killAfter = delay(random);
        runDelete(path, drawing, killAfter, &finished);
        interrupted += finished ? 0 : 1;
        const std::string bytes = fileBytes(path);
        EXPECT_TRUE(bytes == originalBytes || bytes == newBytes)
            << "round " << round << " killed after " << killAfter << " ms";
        EXPECT_EQ(verifyFile(path, tdef), std::vector<std::string>{}) << "round " << round;
        if (bytes == originalBytes) {
            // What the killed run left behind does not stand in the way.
            runDelete(path, drawing, -1, &finished);
            EXPECT_TRUE(finished) << "round " << round;
            EXPECT_EQ(fileBytes(path), newBytes) << "round " << round;
        }
        EXPECT_FALSE(std::filesystem::exists(access::FileReplacement::tempPathFor(path)));
    }
    EXPECT_EQ(mdbCount(path, "Pipe"),
              static_cast<long>(before.tables.size() ? 100000 : 0) - records);
    // The test only means something when some deletes were really cut short.
    EXPECT_GT(interrupted, 0) << "full delete took " << fullMs << " ms";
}

} // namespace
} // namespace korvalt
