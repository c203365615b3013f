// The old file becomes the .bak; refusals change nothing and say why; no copy is left behind.

#include "database/EngineError.h"
#include "database/access/FileReplacement.h"
#include "support/AccessFiles.h"
#include "support/EngineCases.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

// Non-zero: hard links fail with this error, as on some file systems.
static int linkRefusal = 0;

extern "C" int link(const char* from, const char* to) noexcept {
    if (linkRefusal != 0) {
        errno = linkRefusal;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
}

namespace korvalt::access {
namespace {

namespace fs = std::filesystem;
using test_support::errorOf;
using test_support::fileBytes;
using test_support::filledIn;
using test_support::writeFile;
constexpr std::size_t kPage = 2048;

std::string pages(const std::string& fills) {
    std::string bytes;
    for (const char fill : fills)
        bytes.append(kPage, fill);
    return bytes;
}

void writeFill(FileReplacement& replacement, std::uint32_t page, char fill) {
    const std::vector<std::uint8_t> bytes(kPage, static_cast<std::uint8_t>(fill));
    replacement.writePage(page, bytes.data(), kPage);
}

class FileReplacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(path, pages("abcd"));
        ::chmod(path.c_str(), 0640);
    }
    void TearDown() override {
        ::chmod(folder.c_str(), 0755);
        linkRefusal = 0;
    }
    // Back to the folder as SetUp made it.
    void reset() {
        TearDown();
        for (const auto& name : names())
            fs::remove(folder + "/" + name);
        SetUp();
    }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.insert(entry.path().filename().string());
        return found;
    }
    static unsigned modeOf(const std::string& file) {
        return static_cast<unsigned>(fs::status(file).permissions());
    }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString();
    std::string path = folder + "/plant.mdb";
};

// Where hard links fail for want of support, the .bak is a full copy instead.
TEST_F(FileReplacementTest, ReplacesTheFileAndKeepsTheOldOneAsBak) {
    for (const int error : {0, EPERM, EOPNOTSUPP, EXDEV, EMLINK, ENOSYS}) {
        SCOPED_TRACE(error);
        reset();
        linkRefusal = error;
        writeFile(FileReplacement::backupPathFor(path), "an older backup");
        writeFile(FileReplacement::tempPathFor(path), pages("kkkkkk")); // a killed run's copy
        FileStamp stamp = stampOf(path);
        {
            FileReplacement replacement(path, stamp);
            EXPECT_EQ(replacement.tempPath(), folder + "/.plant.mdb.korvalt-new");
            // Another replacement of the same file, under any name, waits its turn.
            EXPECT_EQ(errorOf([&] { FileReplacement(folder + "/./plant.mdb", stamp); }),
                      "3218 Korvalt is deleting from '" + path +
                          "' in another window or on another computer right now. Wait until it has "
                          "finished, then try again. Nothing was changed.");
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
        EXPECT_EQ(modeOf(path + ".bak"), 0640u);
        EXPECT_EQ(stamp, stampOf(path));
        EXPECT_EQ(names(), (std::set<std::string>{"plant.mdb", "plant.mdb.bak"}));

        // Through a link that stays a link; one left unfinished changes nothing.
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
        int number;
        std::string message; // after the file's path
        std::function<void(const std::string& folder, const std::string& path)> arrange;
    } cases[] = {
        {"ldb", 3045, inAccess + "%/plant.ldb" + lockEnd,
         [](auto& f, auto&) { writeFile(f + "/plant.ldb", ""); }},
        {"in capitals", 3045, inAccess + "%/PLANT.LDB" + lockEnd,
         [](auto& f, auto&) { writeFile(f + "/PLANT.LDB", ""); }},
        {"laccdb", 3045, inAccess + "%/Plant.lAccdb" + lockEnd,
         [](auto& f, auto&) { writeFile(f + "/Plant.lAccdb", ""); }},
        {"read-only file", 3027,
         "' is read-only, so Korvalt may not change it. Make the file writable for you, then "
         "try again." +
             nothing,
         [](auto&, auto& p) { ::chmod(p.c_str(), 0444); }},
        {"read-only folder", 3027,
         "The folder '%' is read-only. Korvalt writes the changed database beside the old one "
         "and keeps the old one as a .bak file, so it must be able to create files in that "
         "folder." +
             nothing,
         [](auto& f, auto&) { ::chmod(f.c_str(), 0555); }},
        // A second's change of the time alone, content and inode kept.
        {"touched", 3197, changed,
         [](auto&, auto& p) {
             fs::last_write_time(p, fs::last_write_time(p) - std::chrono::seconds(1));
         }},
        {"replaced", 3197, changed,
         [](auto& f, auto& p) {
             writeFile(f + "/other", pages("abcd"));
             fs::rename(f + "/other", p);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const FileStamp stamp = stampOf(path);
        c.arrange(folder, path);
        const std::set<std::string> before = names();
        const std::string bytes = fileBytes(path);
        std::string message = filledIn(c.message, {{"%", folder}});
        if (!message.starts_with("The folder"))
            message = "'" + path + message;
        EXPECT_EQ(errorOf([&] { FileReplacement(path, stamp); }),
                  std::to_string(c.number) + " " + message);
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
        EXPECT_EQ(errorOf([&] { replacement.commit(); }).substr(0, 4), std::to_string(c.number));
        EXPECT_EQ(fileBytes(path), kept);
        EXPECT_EQ(names(), before);
        // The replacement is over: no further page may go anywhere.
        EXPECT_EQ(errorOf([&] { writeFill(replacement, 1, 'Y'); }).substr(0, 4), "3219");
        reset();
    }
    EXPECT_EQ(errorOf([&] { FileReplacement(folder + "/absent.mdb", {}); }),
              "3024 Could not find file '" + folder + "/absent.mdb'.");
}

// Any other failure of the hard link stops the commit.
TEST_F(FileReplacementTest, AFailedBackupChangesNothing) {
    FileReplacement replacement(path, stampOf(path));
    writeFill(replacement, 1, 'X');
    linkRefusal = EIO;
    EXPECT_EQ(errorOf([&] { replacement.commit(); }), "3043 Could not keep the old file as '" +
                                                          path + ".bak' (" + std::strerror(EIO) +
                                                          "). Nothing was changed.");
    EXPECT_EQ(fileBytes(path), pages("abcd"));
    EXPECT_EQ(names(), std::set<std::string>{"plant.mdb"});
}

// A copy left behind that cannot be opened is neither reused nor removed.
TEST_F(FileReplacementTest, ACopyLeftBehindThatCannotBeOpenedStopsTheDelete) {
    const std::string temp = FileReplacement::tempPathFor(path);
    fs::create_symlink("elsewhere", temp);
    EXPECT_EQ(errorOf([&] { FileReplacement(path, stampOf(path)); }),
              "3043 Could not open '" + temp + "', left behind by an earlier run (" +
                  std::strerror(ELOOP) + "). Nothing was changed.");
    EXPECT_EQ(fileBytes(path), pages("abcd"));
    EXPECT_TRUE(fs::is_symlink(temp));
}

} // namespace
} // namespace korvalt::access
