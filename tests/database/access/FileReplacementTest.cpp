// Replacing a database by a changed copy beside it: the old file becomes the
// .bak, refusals change nothing and say why, failures leave no copy behind.

#include "database/EngineError.h"
#include "database/access/FileReplacement.h"
#include "support/AccessFiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

namespace korvalt::access {
namespace {

namespace fs = std::filesystem;
using test_support::fileBytes;
constexpr std::size_t kPage = 2048;

std::string pages(const std::string& fills) {
    std::string bytes;
    for (const char fill : fills)
        bytes.append(kPage, fill);
    return bytes;
}

void write(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void writeFill(FileReplacement& replacement, std::uint32_t page, char fill) {
    const std::vector<std::uint8_t> bytes(kPage, static_cast<std::uint8_t>(fill));
    replacement.writePage(page, bytes.data(), kPage);
}

// The refusal's number and whole message; 0 and "" when there was none.
std::pair<int, std::string> refusal(const std::function<void()>& action) {
    try {
        action();
    } catch (const EngineError& e) {
        return {e.number(), e.description()};
    }
    return {0, ""};
}

class FileReplacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        write(path, pages("abcd"));
        ::chmod(path.c_str(), 0640);
    }
    void TearDown() override { ::chmod(folder.c_str(), 0755); }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.insert(entry.path().filename().string());
        return found;
    }
    static mode_t modeOf(const std::string& file) {
        struct stat st {};
        ::stat(file.c_str(), &st);
        return st.st_mode & 07777;
    }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString();
    std::string path = folder + "/plant.mdb";
};

TEST_F(FileReplacementTest, ReplacesTheFileAndKeepsTheOldOneAsBak) {
    write(FileReplacement::backupPathFor(path), "an older backup");
    write(FileReplacement::tempPathFor(path), pages("kkkkkk")); // a killed run's copy
    FileStamp stamp = stampOf(path);
    {
        FileReplacement replacement(path, stamp);
        EXPECT_EQ(replacement.tempPath(), folder + "/.plant.mdb.korvalt-new");
        // Another replacement of the same file, under any name, waits its turn.
        EXPECT_EQ(refusal([&] {
                      FileReplacement{folder + "/./plant.mdb", stamp};
                  }),
                  std::make_pair(engine_errors::kLocked,
                                 "Korvalt is deleting from '" + path +
                                     "' in another window or on another computer "
                                     "right now. Wait until it has finished, then try again. "
                                     "Nothing was changed."));
        replacement.waitForCopy();
        EXPECT_EQ(fileBytes(replacement.tempPath()), pages("abcd"));
        EXPECT_EQ(modeOf(replacement.tempPath()), 0640u);
        writeFill(replacement, 1, 'X');
        writeFill(replacement, 4, 'Y'); // a page past the old end
        replacement.flush();
        EXPECT_EQ(fileBytes(path), pages("abcd")); // nothing in place before commit
        stamp = replacement.commit();
    }
    EXPECT_EQ(fileBytes(path), pages("aXcdY"));
    EXPECT_EQ(fileBytes(path + ".bak"), pages("abcd"));
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(stamp, stampOf(path));
    EXPECT_EQ(names(), (std::set<std::string>{"plant.mdb", "plant.mdb.bak"}));

    // The next one, through a link that stays a link: the .bak now holds the
    // first result. One left unfinished changes nothing.
    fs::create_symlink(path, folder + "/link.mdb");
    {
        FileReplacement replacement(folder + "/link.mdb", stamp);
        writeFill(replacement, 0, 'Z');
        replacement.commit();
    }
    {
        FileReplacement unfinished(path, stampOf(path));
        writeFill(unfinished, 2, 'U');
        unfinished.flush();
    }
    EXPECT_TRUE(fs::is_symlink(folder + "/link.mdb"));
    EXPECT_EQ(fileBytes(path), pages("ZXcdY"));
    EXPECT_EQ(fileBytes(path + ".bak"), pages("aXcdY"));
    EXPECT_EQ(names(), (std::set<std::string>{"link.mdb", "plant.mdb", "plant.mdb.bak"}));
}

TEST_F(FileReplacementTest, RefusalsChangeNothingAndSayWhy) {
    const std::string nothing = " Nothing was changed.";
    const std::string inAccess = "' is open in Access on some computer: its lock file '";
    const std::string lockEnd =
        "' is beside it. Close the database in Access everywhere and try again. If Access or a "
        "computer crashed, the lock file may have been left behind; then remove it by hand, once "
        "nobody uses the database." +
        nothing;
    const std::string changed =
        "' has been changed or replaced on disk since Korvalt opened it. Open the database "
        "again, so that Korvalt shows what the file holds now, and repeat the delete there." +
        nothing;
    const struct {
        const char* label;
        std::function<void(const std::string& folder, const std::string& path)> arrange;
        int number;
        std::string message; // after the file's path
    } cases[] = {
        {"ldb", [](auto& f, auto&) { write(f + "/plant.ldb", ""); }, 3045,
         inAccess + "%/plant.ldb" + lockEnd},
        {"in capitals", [](auto& f, auto&) { write(f + "/PLANT.LDB", ""); }, 3045,
         inAccess + "%/PLANT.LDB" + lockEnd},
        {"laccdb", [](auto& f, auto&) { write(f + "/Plant.lAccdb", ""); }, 3045,
         inAccess + "%/Plant.lAccdb" + lockEnd},
        {"read-only file", [](auto&, auto& p) { ::chmod(p.c_str(), 0444); }, 3027,
         "' is read-only, so Korvalt may not change it. Make the file writable for you, then "
         "try again." +
             nothing},
        {"read-only folder", [](auto& f, auto&) { ::chmod(f.c_str(), 0555); }, 3027,
         "The folder '%' is read-only. Korvalt writes the changed database beside the old one "
         "and keeps the old one as a .bak file, so it must be able to create files in that "
         "folder." +
             nothing},
        // A second's change of the time alone, content and inode kept.
        {"touched",
         [](auto&, auto& p) {
             fs::last_write_time(p, fs::last_write_time(p) - std::chrono::seconds(1));
         },
         3197, changed},
        {"replaced",
         [](auto& f, auto& p) {
             write(f + "/other", pages("abcd"));
             fs::rename(f + "/other", p);
         },
         3197, changed},
    };
    const auto reset = [&] {
        TearDown();
        for (const auto& name : names())
            fs::remove(folder + "/" + name);
        SetUp();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const FileStamp stamp = stampOf(path);
        c.arrange(folder, path);
        const std::set<std::string> before = names();
        const std::string bytes = fileBytes(path);
        std::string message = c.message;
        if (const auto at = message.find('%'); at != std::string::npos)
            message.replace(at, 1, folder);
        if (!message.starts_with("The folder"))
            message = "'" + path + message;
        EXPECT_EQ(refusal([&] {
                      FileReplacement{path, stamp};
                  }),
                  std::make_pair(c.number, message));
        EXPECT_EQ(fileBytes(path), bytes);
        EXPECT_EQ(names(), before);
        reset();
        if (c.number == engine_errors::kReadOnly)
            continue;
        // The same when the change comes after the copy, at the commit.
        FileReplacement replacement(path, stampOf(path));
        writeFill(replacement, 0, 'X');
        c.arrange(folder, path);
        const std::string kept = fileBytes(path);
        EXPECT_EQ(refusal([&] { replacement.commit(); }).first, c.number);
        EXPECT_EQ(fileBytes(path), kept);
        EXPECT_EQ(names(), before);
        // The replacement is over: no further page may go anywhere.
        EXPECT_EQ(refusal([&] { writeFill(replacement, 1, 'Y'); }).first, 3219);
        reset();
    }
    EXPECT_EQ(refusal([&] {
                  FileReplacement{folder + "/absent.mdb", {}};
              }),
              std::make_pair(3024, "Could not find file '" + folder + "/absent.mdb'."));
}

} // namespace
} // namespace korvalt::access
