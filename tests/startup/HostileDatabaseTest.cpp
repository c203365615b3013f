#include "database/Database.h"
#include "startup/Module1.h"
#include "startup/frmSplash.h"
#include "support/ProcessFixture.h"
#include "ui/frmTaviDatabase.h"

#include <QDir>

#include <filesystem>
#include <random>

namespace korvalt::testing {
namespace {

// Start-up on files that are not a usable pipe database: each is reported
// with a number and a description (or answered with the location window),
// the program ends, and the file is left exactly as it was.
class HostileDatabaseTest : public ProcessFixture {
protected:
    void startOn(const std::string& database) {
        ResetProcessState();
        flushDeletes();
        fake = FakeToolkit();
        fake.folder = dir.path().toStdString();
        writeFile("Korvalt_Locate.ini",
                  "[Korvalt_Address]\nKorvaltAddress=" + dir.path().toStdString() + "\n");
        writeFile("Korvalt.ini", "[db_address]\ndbaddress=" + database + "\n");
        Main();
    }

    void expectRefused(const std::string& database, const std::string& what) {
        const bool exists = std::filesystem::is_regular_file(database);
        const std::string before = exists ? readFile(database) : std::string();
        startOn(database);
        EXPECT_EQ(fake.endCalls, 1) << what;
        EXPECT_FALSE(gDatabaseOpen) << what;
        const bool reported =
            fake.messages.size() == 1 && fake.messages[0].title == "Cannot Connect to Database" &&
            fake.messages[0].text.rfind("Error Number ", 0) == 0 &&
            fake.messages[0].text.find(" in routine db_connect \r\n\r\n") != std::string::npos;
        const bool asked = fake.messages.empty() && fake.modals.size() == 1;
        EXPECT_TRUE(reported || asked) << what;
        if (exists) {
            EXPECT_EQ(readFile(database), before) << what;
        }
        frmSplashSlot.get().Timer1_Timer();
        EXPECT_FALSE(frmTaviDatabaseSlot.loaded()) << what;
    }
};

TEST_F(HostileDatabaseTest, DamagedAndForeignFilesAreRefused) {
    expectRefused(writeFile("empty.mdb", ""), "zero bytes");
    expectRefused(writeFile("notes.mdb", "Line 1\r\nLine 2\r\n"), "text renamed .mdb");
    QDir().mkpath(QString::fromStdString(tempPath("folder.mdb")));
    expectRefused(tempPath("folder.mdb"), "a folder");

    std::mt19937 random(7);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xFF);
    expectRefused(writeFile("noise.mdb", noise), "random bytes");

    // An Access header followed by noise.
    const std::string access = readFile(KORVALT_FIXTURES_DIR "/pipe-small.mdb");
    expectRefused(writeFile("header.mdb", access.substr(0, 4096) + noise), "header and noise");
    // A SQLite header followed by noise.
    expectRefused(writeFile("sqlite.db", std::string("SQLite format 3", 16) + noise),
                  "sqlite header and noise");
}

TEST_F(HostileDatabaseTest, AccessFileCutAtEveryPageIsRefused) {
    const std::string access = readFile(KORVALT_FIXTURES_DIR "/pipe-small.mdb");
    constexpr std::size_t kPage = 4096;
    for (std::size_t pages = 1; pages * kPage < access.size(); ++pages) {
        const std::string path = writeFile("cut.mdb", access.substr(0, pages * kPage));
        startOn(path);
        // Pages past the table's last one may be unused, so a cut file can
        // still be whole; then it must read completely, never half.
        if (gDatabaseOpen) {
            EXPECT_EQ(fake.endCalls, 0) << pages;
            auto records = gDatabase->openRecordset("SELECT * FROM Pipe");
            int count = 0;
            for (; !records->isEof(); records->moveNext())
                ++count;
            EXPECT_EQ(count, 40) << pages;
        } else {
            EXPECT_EQ(fake.endCalls, 1) << pages;
            ASSERT_EQ(fake.messages.size(), 1u) << pages;
            EXPECT_EQ(fake.messages[0].title, "Cannot Connect to Database");
        }
    }
}

} // namespace
} // namespace korvalt::testing
