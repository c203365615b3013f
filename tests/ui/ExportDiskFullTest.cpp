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
#include <sys/resource.h>
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

// Writes `content` in a child process whose files may not grow beyond
// `limit` bytes, as on a full disk. Returns the child's exit code: 0 when
// the write succeeded, 3 when it reported the failure.
int writeWithSizeLimit(const std::function<void()>& write, rlim_t limit) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{limit, limit};
        setrlimit(RLIMIT_FSIZE, &cap);
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

} // namespace
} // namespace korvalt
