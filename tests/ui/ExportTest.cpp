#include "support/MouseClick.h"
#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QDir>
#include <QHeaderView>
#include <QPushButton>
#include <QStringList>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace korvalt::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string kSearchHeading =
    "\"Drawing Name\",\"Long Description\",\"Line Number\",\"Specification\",\"Part "
    "Code\",\"Size\",\"Main\",\"Red\",\"Tag\",\"Length\",\"Short Description\"\r\n";
const std::string kCheckHeading =
    "\"Drawing\",\"Description\",\"Line Number\",\"Size\",\"Tag\"\r\n";

// The search for size 10: one flange of AREA2.dwg, one pipe of AREA4.dwg.
const std::string kSizeTenFile =
    "\"Selective List of Items in Database\"\r\n"
    "\"\"\r\n" +
    kSearchHeading +
    "\"AREA2.dwg\",\"Flange WN A182 F316\",\"10\"\"-P-2003-SS300\",\"SS300\",\"FLG0050\","
    "\"10\",\"10\",\"0\",\"F-1\",\"0\",\"FLANGE\"\r\n"
    "\"AREA4.dwg\",\"Pipe A106-B SCH 80\",\"0.5\"\"-P-4003-CS150\",\"CS150\",\"PIP0004\","
    "\"10\",\"10\",\"0\",\"P-41\",\"30\",\"PIPE\"\r\n";

const std::string kModelFilesTitle = "\"List of Drawing Numbers in Database\"\r\n"
                                     "\"\"\r\n"
                                     "\"Drawing Number\"\r\n";

Strings folderEntries(const std::string& folder) {
    Strings names;
    for (const QString& name :
         QDir(QString::fromStdString(folder))
             .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        names.push_back(name.toStdString());
    return names;
}

// While alive, no file of the process may grow beyond `bytes`; writes past
// it fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

class ExportTest : public ReportWindowFixture {
protected:
    void SetUp() override {
        ReportWindowFixture::SetUp();
        start();
    }
    void expectWriteListError(std::size_t index) const {
        ASSERT_GT(fake.messages.size(), index);
        const FakeToolkit::Message& message = fake.messages[index];
        EXPECT_EQ(message.text.rfind("Error Number 75 in routine WriteList \r\n\r\n", 0), 0u)
            << message.text;
        EXPECT_GT(message.text.size(),
                  std::string("Error Number 75 in routine WriteList \r\n\r\n").size());
        EXPECT_EQ(message.title, "Korvalt Error");
        EXPECT_EQ(message.icon, MsgIcon::Critical);
        EXPECT_EQ(message.buttons, MsgButtons::Ok);
    }
    std::string folder() const { return dir.path().toStdString(); }
};

TEST_F(ExportTest, SearchIsWrittenAsShownAndTheDatabaseIsNotReadAgain) {
    setFilters({.size = "10"});
    window->cmdSearchAll->click();
    // The file holds the list, not the table as it is now.
    execSql(databasePath, "DELETE FROM Pipe WHERE DWG_NAME = 'AREA2.dwg'");
    // A column header dragged elsewhere stays where it was, so the screen
    // keeps showing the order the file is written in.
    QHeaderView* header = window->lstvResults->header();
    const auto middleOf = [header](int section) {
        return QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                      header->height() / 2);
    };
    mouseDrag(header->viewport(), middleOf(1), middleOf(4));
    for (int column = 0; column < header->count(); ++column)
        EXPECT_EQ(header->logicalIndex(column), column);
    EXPECT_EQ(exportAs("search.csv"), kSizeTenFile);

    ASSERT_EQ(fake.saveRequests.size(), 1u);
    EXPECT_EQ(fake.saveRequests[0].title, "Export Record List");
    EXPECT_EQ(fake.saveRequests[0].filter, "Comma Delimited Files (*.csv)|*.csv");
    EXPECT_TRUE(fake.saveRequests[0].promptOverwrite);
    EXPECT_TRUE(fake.messages.empty()) << "no message after a good export";
}

TEST_F(ExportTest, TagAndLineChecksShareTheHeadingButNotTheTitle) {
    setFilters({.drawing = "AREA1.dwg"});
    window->cmdRequireTag->click();
    clickHeader(5); // by tag, so the empty tag comes before the blank one
    EXPECT_EQ(exportAs("tag.csv"), "\"These Items Require a Tag\"\r\n"
                                   "\"\"\r\n" +
                                       kCheckHeading +
                                       "\"AREA1.dwg\",\"Elbow 90 LR A234 WPB\",\"4\"\"-P-1001-"
                                       "CS150\",\"4\",\"\"\r\n"
                                       "\"AREA1.dwg\",\"Elbow 90 LR A234 WPB\",\"4\"\"-P-1001-"
                                       "CS150\",\"4\",\"   \"\r\n");

    setFilters({.spec = "CS150"});
    window->cmdRequireNumber->click();
    EXPECT_EQ(exportAs("line.csv"),
              "\"These Items Require a Line Number\"\r\n"
              "\"\"\r\n" +
                  kCheckHeading +
                  "\"AREA1.dwg\",\"Reducer Concentric A234 WPB\",\"\",\"4x2\",\"R-1\"\r\n"
                  "\"AREA1.dwg\",\"Reducer Eccentric A234 WPB\",\"   \",\"4x2\",\"R-2\"\r\n");
}

TEST_F(ExportTest, DuplicateTagsUseTheirOwnHeadingsAndTheSortedOrder) {
    setFilters({.drawing = "AREA1.dwg"});
    window->CmdFindDuplicatetags->click();
    clickHeader(6); // by identifier, as text
    EXPECT_EQ(
        exportAs("duplicates.csv"),
        "\"List of Duplicate Tags\"\r\n"
        "\"\"\r\n"
        "\"Model Tag\",\"Drawing\",\"Line Number\",\"Long Description\",\"Short "
        "Description\",\"Size\"\r\n"
        "\"P-1\",\"AREA1.dwg\",\"4\"\"-P-1001-CS150\",\"Pipe A106-B SCH 40\",\"PIPE\",\"1\"\r\n"
        "\"P-1\",\"AREA1.dwg\",\"4\"\"-P-1001-CS150\",\"Gate Valve A105 Class "
        "150\",\"GATE VALVE\",\"2\"\r\n"
        "\"p-1\",\"AREA1.dwg\",\"4\"\"-P-1002-CS150\",\"Gate Valve A105 Class "
        "150\",\"Gate Valve\",\"3\"\r\n"
        "\"P-2\",\"AREA1.dwg\",\"2\"\"-P-1003-CS150\",\"Globe Valve A105\",\"GLOBE "
        "VALVE\",\"4\"\r\n"
        "\"V-10\",\"AREA1.dwg\",\"2\"\"-P-1003-CS150\",\"Check Valve A105\",\"CHECK "
        "VALVE\",\"5\"\r\n");
    clickHeader(6);
    const std::string descending = exportAs("descending.csv");
    const std::string heading = "\"Short Description\",\"Size\"\r\n";
    EXPECT_EQ(descending.substr(descending.find(heading) + heading.size(), 4), "\"V-1");
    EXPECT_TRUE(descending.ends_with("\r\n\"P-1\",\"AREA1.dwg\",\"4\"\"-P-1001-CS150\",\"Pipe "
                                     "A106-B SCH 40\",\"PIPE\",\"1\"\r\n"));
}

TEST_F(ExportTest, UniqueLineNumbersAreOneQuotedFieldEach) {
    setFilters({.drawing = "AREA5.dwg"});
    window->cmdListUniqueLine->click();
    clickHeader(1);
    EXPECT_EQ(exportAs("lines.csv"), "\"List of line Numbers\"\r\n"
                                     "\"\"\r\n"
                                     "\"Line Number\"\r\n"
                                     "\"6\"\"-P-5003-CS150\"\r\n"
                                     "\"8\"\"-P-5001-CS150\"\r\n"
                                     "\"8\"\"-P-5002-CS150\"\r\n");
}

TEST_F(ExportTest, ModelFilesKeepTheirTitleThroughDelete) {
    window->cmdListUnique->click();
    clickHeader(1);
    const std::string all = kModelFilesTitle + "\"\"\r\n"
                                               "\"AREA1.dwg\"\r\n"
                                               "\"AREA2.dwg\"\r\n"
                                               "\"AREA3 \"\"north\"\".dwg\"\r\n"
                                               "\"AREA4.dwg\"\r\n"
                                               "\"AREA5.dwg\"\r\n"
                                               "\"O'Neil-4.dwg\"\r\n";
    EXPECT_EQ(exportAs("listed.csv"), all);

    clickRow(positionOf("AREA2.dwg"));
    fake.msgAnswers.push_back(MsgAnswer::Cancel);
    window->cmdDeleteRecords->click();
    EXPECT_EQ(exportAs("cancelled.csv"), all);

    clickRow(positionOf("O'Neil-4.dwg"));
    fake.msgAnswers.push_back(MsgAnswer::Ok);
    window->cmdDeleteRecords->click();
    EXPECT_EQ(exportAs("deleted.csv"), kModelFilesTitle + "\"\"\r\n"
                                                          "\"AREA1.dwg\"\r\n"
                                                          "\"AREA2.dwg\"\r\n"
                                                          "\"AREA3 \"\"north\"\".dwg\"\r\n"
                                                          "\"AREA4.dwg\"\r\n"
                                                          "\"AREA5.dwg\"\r\n");
}

TEST_F(ExportTest, TextBeyondAsciiIsWrittenAsUtf8) {
    setFilters({.spec = "all"});
    window->cmdSearchAll->click();
    EXPECT_EQ(exportAs("umlaut.csv"),
              "\"Selective List of Items in Database\"\r\n"
              "\"\"\r\n" +
                  kSearchHeading +
                  "\"AREA4.dwg\",\"Ventil \xC3\x98"
                  "50 R\xC3\xBC"
                  "ckschlag\",\"DN50-W-4002\",\"All\",\"VLV0700\",\"2\",\"2\",\"0\",\"RV-1\","
                  "\"0\",\"R\xC3\xBC"
                  "ckschlagventil\"\r\n");
}

TEST_F(ExportTest, EmptyListIsReportedWithoutADialog) {
    const struct {
        const char* when;
        QPushButton* frmTaviDatabase::*command; // nothing: right after start
    } cases[] = {
        {"at start", nullptr},
        {"after Reset All", &frmTaviDatabase::cmdReset},
        {"after a check that found nothing", &frmTaviDatabase::cmdRequireTag},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        fake.messages.clear();
        setFilters({.drawing = "AREA2.dwg"});
        if (c.command != nullptr)
            (window->*c.command)->click();
        ASSERT_EQ(window->lstvResults->count(), 0);
        EXPECT_EQ(exportAs("never.csv"), "");
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text, "There are no Records Listed");
        EXPECT_EQ(fake.messages[0].title, "Save List Error");
        EXPECT_EQ(fake.messages[0].buttons, MsgButtons::Ok);
        fake.saveFiles.clear();
    }
    EXPECT_TRUE(fake.saveRequests.empty());
    EXPECT_EQ(folderEntries(folder()), Strings{"pipe.db"});
}

TEST_F(ExportTest, CancelWritesNothing) {
    window->cmdListUnique->click();
    window->cmdExport->click(); // the fake dialog answers with a cancel
    EXPECT_EQ(fake.saveRequests.size(), 1u);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(folderEntries(folder()), Strings{"pipe.db"});
}

TEST_F(ExportTest, NameIsUsedAsTypedAndAnExistingFileIsReplaced) {
    setFilters({.size = "10"});
    window->cmdSearchAll->click();
    EXPECT_EQ(exportAs("report"), kSizeTenFile);
    EXPECT_FALSE(std::filesystem::exists(tempPath("report.csv")));

    std::string old;
    for (int i = 0; i < 200; ++i)
        old += "\"an older and much longer export\"\r\n";
    writeFile("old.csv", old);
    EXPECT_EQ(exportAs("old.csv"), kSizeTenFile);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(ExportTest, FailedWriteIsReportedAndLeavesNoFileBehind) {
    setFilters({.size = "10"});
    window->cmdSearchAll->click();
    std::filesystem::create_directory(tempPath("taken.csv"));
    writeFile("taken.csv/inside.txt", "keep me");
    const Strings before = folderEntries(folder());

    const struct {
        const char* why;
        std::string name;
    } cases[] = {
        {"folder missing", "no-such-folder/out.csv"},
        {"target is a folder", "taken.csv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        fake.messages.clear();
        exportAs(c.name);
        ASSERT_EQ(fake.messages.size(), 1u);
        expectWriteListError(0);
        EXPECT_EQ(folderEntries(folder()), before);
    }
    EXPECT_TRUE(std::filesystem::is_directory(tempPath("taken.csv")));
    EXPECT_EQ(readFile(tempPath("taken.csv/inside.txt")), "keep me");

    fake.messages.clear();
    EXPECT_EQ(exportAs("good.csv"), kSizeTenFile);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(ExportTest, DiskFullLeavesTheEarlierFileAsItWas) {
    window->cmdSearchAll->click(); // the whole table: several kilobytes
    const std::string earlier = "\"an earlier export\"\r\n";
    writeFile("report.csv", earlier);
    const Strings before = folderEntries(folder());
    {
        const FileSizeLimit limit(1024);
        fake.saveFiles.push_back(tempPath("report.csv"));
        window->cmdExport->click();
    }
    ASSERT_EQ(fake.messages.size(), 1u);
    expectWriteListError(0);
    EXPECT_EQ(readFile(tempPath("report.csv")), earlier);
    EXPECT_EQ(folderEntries(folder()), before) << "no temporary file left";

    fake.messages.clear();
    const std::string written = exportAs("report.csv");
    EXPECT_TRUE(fake.messages.empty());
    std::size_t lines = 0;
    for (std::size_t at = written.find("\r\n"); at != std::string::npos;
         at = written.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 3u + 40u);
    EXPECT_GT(written.size(), 1024u);
}

} // namespace
} // namespace korvalt::testing
