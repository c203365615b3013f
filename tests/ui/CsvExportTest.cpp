#include "database/EngineError.h"
#include "ui/CsvExport.h"
#include "ui/ResultsListView.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <span>
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

std::string written(const std::string& title, std::int16_t layout, const ResultsListView& list) {
    std::ostringstream out;
    CsvExport::writeList(out, title, layout, list);
    return out.str();
}

// A sorted list of several megabytes, with double quotes and sub-items never
// set, goes out piece by piece, to a path or a stream, with every row as
// many fields as the layout's headings.
TEST(CsvExportTest, ListIsWrittenInTheOrderShownOneQuotedFieldPerHeading) {
    ResultsListView list;
    std::map<std::string, std::string> lines; // by row text, which sorts them
    for (int i = 0; i < 20000; ++i) {
        const std::string text = "DWG-" + std::to_string(10000 + (i * 7919) % 20000);
        const std::string said = "say \"" + std::to_string(i) + "\" " + std::string(300, 'p');
        const std::vector<std::string_view> cells = {text, said, "", "L", "", "S", "dropped"};
        list.addRow(std::span(cells.data(), i % 3 == 0 ? 1 : cells.size()));
        lines[text] = "\"" + text + "\"," +
                      (i % 3 == 0 ? "\"\",\"\",\"\",\"\",\"\"\r\n"
                                  : "\"say \"\"" + std::to_string(i) + "\"\" " +
                                        std::string(300, 'p') + "\",\"\",\"L\",\"\",\"S\"\r\n");
    }
    list.setSorted(true);
    std::string expected = "\"A \"\"B\"\"\"\r\n\"\"\r\n\"Model Tag\",\"Drawing\",\"Line Number\","
                           "\"Long Description\",\"Short Description\",\"Size\"\r\n";
    for (const auto& [text, line] : lines)
        expected += line;
    QTemporaryDir dir;
    CsvExport::writeList(dir.path().toStdString() + "/list.csv", "A \"B\"", 11, list);
    EXPECT_TRUE(readAll(dir.path().toStdString() + "/list.csv") == expected);
    EXPECT_TRUE(written("A \"B\"", 11, list) == expected);

    // Layouts 7 and 21 share their headings; an unknown one writes the search's.
    const ResultsListView none;
    EXPECT_EQ(written("", 21, none), "\"\"\r\n\"\"\r\n\"Drawing\",\"Description\",\"Line "
                                     "Number\",\"Size\",\"Tag\"\r\n");
    EXPECT_EQ(written("", 22, none), "\"\"\r\n\"\"\r\n\"Drawing Number\"\r\n");
    EXPECT_EQ(written("", 1, none), written("", 18, none));
}

// Runs `write` in a child whose files may not grow beyond `limit` bytes, as
// on a full disk. Its exit code: 0 written, 3 reported as error 75.
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
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CsvExportTest, DiskFullIsReportedAndKeepsTheEarlierFile) {
    QTemporaryDir dir;
    const std::string target = dir.path().toStdString() + "/report.csv";
    const std::string earlier = "\"earlier export\"\r\n";
    std::ofstream(target, std::ios::binary) << earlier;
    ResultsListView list;
    for (int i = 0; i < 10000; ++i)
        list.addItem(std::string(400, 'r'));
    const auto write = [&] { CsvExport::writeList(target, "T", 20, list); };
    for (const rlim_t limit : {rlim_t{2000}, rlim_t{2} << 20}) {
        EXPECT_EQ(writeWithSizeLimit(write, limit), 3) << limit;
        EXPECT_EQ(readAll(target), earlier);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
    EXPECT_EQ(writeWithSizeLimit(write, 8 << 20), 0);
    EXPECT_EQ(readAll(target), written("T", 20, list));
}

} // namespace
} // namespace korvalt
