#include "database/EngineError.h"
#include "ui/CsvExport.h"
#include "ui/ResultsListView.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvalt {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `write` in a child process, after `prepare` has set the child up.
// Returns the child's exit code: 0 when the write succeeded, 3 when it
// reported the failure.
int writeInChild(const std::function<void()>& prepare, const std::function<void()>& write) {
    const pid_t pid = fork();
    if (pid == 0) {
        prepare();
        try {
            write();
            _exit(0);
        } catch (const EngineError& e) {
            _exit(e.number() == 75 ? 3 : 4);
        } catch (...) {
            _exit(5);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Files may not grow beyond `limit` bytes, as on a full disk.
int writeWithSizeLimit(const std::function<void()>& write, rlim_t limit) {
    return writeInChild(
        [limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit cap{limit, limit};
            setrlimit(RLIMIT_FSIZE, &cap);
        },
        write);
}

// File permissions hold: a child of a process running as root writes as
// the unprivileged user "nobody".
int writeWithoutPrivileges(const std::function<void()>& write) {
    return writeInChild(
        [] {
            constexpr uid_t kNobody = 65534;
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
                _exit(6);
        },
        write);
}

TEST(ExportDiskFull, FailedWriteReportsAndKeepsTheEarlierFile) {
    QTemporaryDir dir;
    const std::string target = dir.path().toStdString() + "/report.csv";
    const std::string earlier = "\"earlier export\"\r\n\"\"\r\n\"Line Number\"\r\n\"L-1\"\r\n";
    { std::ofstream(target, std::ios::binary) << earlier; }
    const std::string big(200000, 'x');

    const auto writeBig = [&] { CsvExport::writeFile(target, big); };
    EXPECT_EQ(writeWithSizeLimit(writeBig, 64 * 1024), 3);
    EXPECT_EQ(readAll(target), earlier);
    // Nothing but the earlier file is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // A list streamed to the file fails after its first pieces went out.
    ResultsListView list;
    for (int i = 0; i < 10000; ++i)
        list.addItem(std::string(400, 'r'));
    const auto writeList = [&] { CsvExport::writeList(target, "T", 20, list); };
    EXPECT_EQ(writeWithSizeLimit(writeList, 2 * 1024 * 1024), 3);
    EXPECT_EQ(readAll(target), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // With room enough the same write goes through.
    EXPECT_EQ(writeWithSizeLimit(writeBig, 1024 * 1024), 0);
    EXPECT_EQ(readAll(target), big);
}

// A shared folder where the user may overwrite a file but create none: the
// export writes the file in place, since the temporary file for a safe
// write cannot be made beside it. What cannot be written still fails.
TEST(ExportDiskFull, FolderClosedToNewFilesTakesAWriteInPlace) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string earlier = "\"earlier export\"\r\n";
    const std::string content = "\"List of line Numbers\"\r\n\"\"\r\n\"Line Number\"\r\n";
    const struct {
        const char* name;
        mode_t mode; // 0: no such file
        int exitCode;
        bool replaced;
    } cases[] = {
        {"shared.csv", 0666, 0, true},
        {"locked.csv", 0444, 3, false},
        {"new.csv", 0, 3, false},
    };
    for (const auto& c : cases) {
        if (c.mode != 0) {
            std::ofstream(folder + "/" + c.name, std::ios::binary) << earlier;
            ASSERT_EQ(chmod((folder + "/" + c.name).c_str(), c.mode), 0);
        }
    }
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    for (const auto& c : cases) {
        const std::string target = folder + "/" + c.name;
        EXPECT_EQ(writeWithoutPrivileges([&] { CsvExport::writeFile(target, content); }),
                  c.exitCode)
            << c.name;
        if (c.mode != 0) {
            EXPECT_EQ(readAll(target), c.replaced ? content : earlier) << c.name;
        }
    }
    // Nothing was left behind, and no file was made.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    chmod(folder.c_str(), 0755);
}

} // namespace
} // namespace korvalt
