#include "database/EngineError.h"
#include "database/access/FileReplacement.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <vector>

namespace korvalt::access {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t kPage = 2048;

class FileReplacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "korvalt-replace-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        path = folder + "/plant.mdb";
        original = pages({'a', 'b', 'c', 'd'});
        write(path, original);
        ::chmod(path.c_str(), 0640);
    }
    void TearDown() override {
        ::chmod(folder.c_str(), 0755);
        fs::remove_all(folder);
    }

    static std::string pages(const std::vector<char>& fills) {
        std::string bytes;
        for (const char fill : fills)
            bytes.append(kPage, fill);
        return bytes;
    }
    static void write(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
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
    static void writeFill(FileReplacement& replacement, std::uint32_t page, char fill) {
        const std::vector<std::uint8_t> bytes(kPage, static_cast<std::uint8_t>(fill));
        replacement.writePage(page, bytes.data(), kPage);
    }
    // Sets the file's modification time `seconds` into the past, keeping
    // its content and inode: a change a size check alone would miss.
    static void touchBack(const std::string& file, long seconds) {
        const timeval times[2] = {{std::time(nullptr) - seconds, 0},
                                  {std::time(nullptr) - seconds, 0}};
        ::utimes(file.c_str(), times);
    }

    std::string folder;
    std::string path;
    std::string original;
};

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int refusalNumber(const std::function<void()>& action, std::string* description = nullptr) {
    try {
        action();
    } catch (const EngineError& e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

TEST_F(FileReplacementTest, ReplacesTheFileAndKeepsTheOldOneAsBak) {
    write(FileReplacement::backupPathFor(path), "an older backup");
    FileStamp stamp = stampOf(path);
    {
        FileReplacement replacement(path, stamp);
        EXPECT_EQ(replacement.tempPath(), FileReplacement::tempPathFor(path));
        replacement.waitForCopy();
        EXPECT_EQ(read(replacement.tempPath()), original);
        EXPECT_EQ(modeOf(replacement.tempPath()), 0640u);
        writeFill(replacement, 1, 'X');
        writeFill(replacement, 4, 'Y'); // a page past the old end
        replacement.flush();
        EXPECT_EQ(read(path), original); // nothing in place before commit
        stamp = replacement.commit();
    }
    EXPECT_EQ(read(path), pages({'a', 'X', 'c', 'd', 'Y'}));
    EXPECT_EQ(read(path + ".bak"), original);
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(stamp, stampOf(path));
    EXPECT_EQ(names(), (std::set<std::string>{"plant.mdb", "plant.mdb.bak"}));

    // A second delete on the result: the .bak now holds the first result.
    {
        FileReplacement replacement(path, stamp);
        writeFill(replacement, 0, 'Z');
        replacement.commit();
    }
    EXPECT_EQ(read(path), pages({'Z', 'X', 'c', 'd', 'Y'}));
    EXPECT_EQ(read(path + ".bak"), pages({'a', 'X', 'c', 'd', 'Y'}));
    EXPECT_EQ(names(), (std::set<std::string>{"plant.mdb", "plant.mdb.bak"}));
}

// Each refusal leaves the folder exactly as it was.
TEST_F(FileReplacementTest, RefusalsChangeNothing) {
    const struct {
        const char* label;
        std::function<void(const std::string& folder, const std::string& path)> arrange;
        int number;
        const char* inText;
    } cases[] = {
        {"ldb", [](auto& f, auto&) { write(f + "/plant.ldb", ""); }, 3045, "plant.ldb"},
        {"LDB in capitals", [](auto& f, auto&) { write(f + "/PLANT.LDB", ""); }, 3045, "PLANT.LDB"},
        {"laccdb", [](auto& f, auto&) { write(f + "/Plant.lAccdb", ""); }, 3045, "Plant.lAccdb"},
        {"read-only file", [](auto&, auto& p) { ::chmod(p.c_str(), 0444); }, 3027, "read-only"},
        {"read-only folder", [](auto& f, auto&) { ::chmod(f.c_str(), 0555); }, 3027, "folder"},
        {"touched", [](auto&, auto& p) { touchBack(p, 100); }, 3197, "open the database again"},
        {"replaced",
         [](auto& f, auto& p) {
             write(f + "/other", pages({'a', 'b', 'c', 'd'}));
             fs::rename(f + "/other", p);
         },
         3197, "changed or replaced"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        const FileStamp stamp = stampOf(path);
        c.arrange(folder, path);
        const std::set<std::string> before = names();
        const std::string bytes = read(path);
        std::string text;
        EXPECT_EQ(refusalNumber([&] { FileReplacement{path, stamp}; }, &text), c.number);
        EXPECT_NE(lowerCase(text).find(lowerCase(c.inText)), std::string::npos) << text;
        EXPECT_TRUE(text.ends_with("Nothing was changed.")) << text;
        EXPECT_EQ(read(path), bytes);
        EXPECT_EQ(names(), before);
    }
    EXPECT_EQ(refusalNumber([&] { FileReplacement{folder + "/absent.mdb", {}}; }), 3024);
}

TEST_F(FileReplacementTest, ASecondReplacementOfTheSameFileIsRefusedUntilTheFirstEnds) {
    const FileStamp stamp = stampOf(path);
    {
        FileReplacement first(path, stamp);
        writeFill(first, 2, 'Q');
        // Also when reached through another name of the same file.
        EXPECT_EQ(refusalNumber([&] { FileReplacement{folder + "/./plant.mdb", stamp}; }), 3218);
        EXPECT_EQ(read(first.tempPath()), pages({'a', 'b', 'Q', 'd'}));
        first.commit();
    }
    EXPECT_EQ(read(path), pages({'a', 'b', 'Q', 'd'}));
    // Once the first is over, the next one may run.
    FileReplacement next(path, stampOf(path));
    next.waitForCopy();
    EXPECT_EQ(read(next.tempPath()), pages({'a', 'b', 'Q', 'd'}));
}

TEST_F(FileReplacementTest, AnUnfinishedReplacementLeavesNothingBehind) {
    // A killed run's copy: larger than the file, different bytes, no lock.
    const std::string temp = FileReplacement::tempPathFor(path);
    write(temp, pages({'k', 'k', 'k', 'k', 'k', 'k'}));
    {
        FileReplacement replacement(path, stampOf(path));
        replacement.waitForCopy();
        EXPECT_EQ(read(temp), original);
        writeFill(replacement, 0, 'X');
        replacement.flush();
    }
    EXPECT_EQ(read(path), original);
    EXPECT_EQ(names(), std::set<std::string>{"plant.mdb"});
}

TEST_F(FileReplacementTest, CommitRefusesWhenTheFileChangedOrAccessOpenedIt) {
    for (const bool byAccess : {false, true}) {
        SCOPED_TRACE(byAccess ? "lock file" : "changed file");
        TearDown();
        SetUp();
        FileReplacement replacement(path, stampOf(path));
        writeFill(replacement, 0, 'X');
        std::string changed = original;
        if (byAccess) {
            write(folder + "/plant.LDB", "");
        } else {
            changed = pages({'s', 'o', 'm', 'e'});
            write(folder + "/other", changed);
            fs::rename(folder + "/other", path);
        }
        EXPECT_EQ(refusalNumber([&] { replacement.commit(); }), byAccess ? 3045 : 3197);
        EXPECT_EQ(read(path), changed);
        EXPECT_EQ(names().count("plant.mdb.bak"), 0u);
        EXPECT_FALSE(fs::exists(replacement.tempPath()));
        // The replacement is over: no further page may go anywhere.
        EXPECT_EQ(refusalNumber([&] { writeFill(replacement, 1, 'Y'); }), 3219);
    }
}

// A link to the database stays a link; the file it names is replaced.
TEST_F(FileReplacementTest, ALinkedDatabaseIsReplacedWhereItLies) {
    const std::string link = folder + "/link.mdb";
    fs::create_symlink(path, link);
    {
        FileReplacement replacement(link, stampOf(link));
        writeFill(replacement, 3, 'L');
        replacement.commit();
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read(link), pages({'a', 'b', 'c', 'L'}));
    EXPECT_EQ(read(path + ".bak"), original);
}

// A full disk, imitated by a file size limit: the copy cannot be made (or
// a page cannot be written); the copy goes and the original stays.
TEST_F(FileReplacementTest, WriteFailuresAreDiskErrorsAndRemoveTheCopy) {
    const FileStamp stamp = stampOf(path);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const auto limitTo = [&](rlim_t bytes) {
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };

    std::string text;
    limitTo(kPage * 2);
    // The copy is made in the background: its failure comes with the wait.
    EXPECT_EQ(refusalNumber([&] { FileReplacement{path, stamp}.waitForCopy(); }, &text), 3043);
    EXPECT_NE(text.find(std::strerror(EFBIG)), std::string::npos) << text;
    EXPECT_EQ(names(), std::set<std::string>{"plant.mdb"});

    limitTo(kPage * 4);
    {
        FileReplacement replacement(path, stamp);
        EXPECT_EQ(refusalNumber([&] { writeFill(replacement, 4, 'X'); }), 3043);
        EXPECT_FALSE(fs::exists(replacement.tempPath()));
        EXPECT_EQ(refusalNumber([&] { replacement.commit(); }), 3219);
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(read(path), original);
    EXPECT_EQ(names(), std::set<std::string>{"plant.mdb"});
}

} // namespace
} // namespace korvalt::access
