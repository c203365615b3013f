#include "startup/Module1.h"
#include "support/RecordingDatabase.h"
#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QPushButton>

#include <algorithm>
#include <memory>

namespace korvalt::testing {
namespace {

using Button = QPushButton* frmTaviDatabase::*;
using Strings = std::vector<std::string>;
using Rows = std::vector<Strings>;

const Strings kCheckCaptions = {"Drawing", "Description", "Line Number", "Size", "Tag"};
const Strings kDuplicateCaptions = {"Model Tag",   "Drawing",     "Line Number",
                                    "Description", "Short Desc.", "Size"};
const Strings kAllDrawings = {"",          "AREA1.dwg", "AREA2.dwg",   "AREA3 \"north\".dwg",
                              "AREA4.dwg", "AREA5.dwg", "O'Neil-4.dwg"};

constexpr const char* kPlural = "Delete Model File Records";
constexpr const char* kSingular = "Delete Model File Record";

Rows sorted(Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

Rows oneColumn(const Strings& values) {
    Rows rows;
    for (const std::string& value : values)
        rows.push_back({value});
    return rows;
}

// The duplicate-tag rows of the small fixture: tag, drawing, line number,
// long and short description, identifier.
const Strings kDupP1a = {"P-1", "AREA1.dwg", "4\"-P-1001-CS150", "Pipe A106-B SCH 40", "PIPE", "1"};
const Strings kDupP1b = {"P-1",        "AREA1.dwg", "4\"-P-1001-CS150", "Gate Valve A105 Class 150",
                         "GATE VALVE", "2"};
const Strings kDupP1c = {"p-1",        "AREA1.dwg", "4\"-P-1002-CS150", "Gate Valve A105 Class 150",
                         "Gate Valve", "3"};
// P-2 begins P-20 and P-21 of AREA2.dwg.
const Strings kDupP2 = {"P-2",         "AREA1.dwg", "2\"-P-1003-CS150", "Globe Valve A105",
                        "GLOBE VALVE", "4"};
const Strings kDupV10 = {"V-10",        "AREA1.dwg", "2\"-P-1003-CS150", "Check Valve A105",
                         "CHECK VALVE", "5"};
const Strings kDupHV7 = {"HV-7",       "AREA2.dwg", "12\"-P-2008-SS300", "Butterfly Valve Wafer",
                         "BFLY VALVE", "21"};
const Strings kDupP50a = {"P-50", "AREA5.dwg", "8\"-P-5001-CS150", "Pipe A106-B SCH 40",
                          "PIPE", "40000"};
const Strings kDupP50b = {"P-50", "AREA5.dwg", "8\"-P-5001-CS150", "Pipe A106-B SCH 40",
                          "PIPE", "34"};

class CheckCommandsTest : public ReportWindowFixture {
protected:
    void SetUp() override {
        ReportWindowFixture::SetUp();
        start();
    }
    void press(Button button) { (window->*button)->click(); }
};

TEST_F(CheckCommandsTest, EachCommandFillsItsLayoutAndLeavesItsTitleAndCaption) {
    const struct {
        const char* name;
        Button button;
        std::int16_t layout;
        Strings captions;
        const char* title;
        const char* deleteCaption;
        Rows expected;
        bool inShownOrder; // otherwise compared as a set
        std::size_t messages;
    } cases[] = {
        {"model files",
         &frmTaviDatabase::cmdListUnique,
         22,
         {"Drawing Number"},
         "List of Drawing Numbers in Database",
         kSingular,
         oneColumn(kAllDrawings),
         false,
         0},
        {"require line",
         &frmTaviDatabase::cmdRequireNumber,
         21,
         kCheckCaptions,
         "These Items Require a Line Number",
         kPlural,
         // Empty text and blanks are missing numbers; Null (record 12) is not.
         {{"AREA1.dwg", "Reducer Concentric A234 WPB", "", "4x2", "R-1"},
          {"AREA1.dwg", "Reducer Eccentric A234 WPB", "   ", "4x2", "R-2"}},
         true,
         0},
        {"require tag",
         &frmTaviDatabase::cmdRequireTag,
         7,
         kCheckCaptions,
         "These Items Require a Tag",
         kPlural,
         {{"AREA1.dwg", "Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", ""},
          {"AREA1.dwg", "Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", "   "}},
         false,
         0},
        {"unique lines",
         &frmTaviDatabase::cmdListUniqueLine,
         20,
         {"Line Number"},
         "List of line Numbers",
         kPlural,
         // The Null line number is a value of its own and shows empty.
         oneColumn({"",
                    "",
                    "   ",
                    "0.5\"-P-4003-CS150",
                    "0.75\"-S-2006-SS300",
                    "1\"-P-2009-SS300",
                    "1\"-P-4004-CS150",
                    "1\"-P-9999-CS150",
                    "10\"-P-2003-SS300",
                    "12\"-P-2008-SS300",
                    "2\"-P-1003-CS150",
                    "2\"-P-1004-CS150",
                    "2\"-P-2005-SS300",
                    "2\"-P-4001-CS150",
                    "2.5\"-P-2001-SS300",
                    "3\"-P-2007-SS300",
                    "4\"-P-1001-CS150",
                    "4\"-P-1002-CS150",
                    "4\"-P-3001-CS150",
                    "6\"-P-2002-SS300",
                    "6\"-P-5003-CS150",
                    "8\"-P-5001-CS150",
                    "8\"-P-5002-CS150",
                    "9\"-P-2004-SS300",
                    "All",
                    "DN50-W-4002"}),
         false,
         0},
        {"duplicate tags",
         &frmTaviDatabase::CmdFindDuplicatetags,
         11,
         kDuplicateCaptions,
         "List of Duplicate Tags",
         kPlural,
         {kDupP1a, kDupP1b, kDupP1c, kDupP2, kDupV10, kDupHV7, kDupP50a, kDupP50b},
         false,
         1}, // the apostrophe of O'BRIEN-1 breaks its statement
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake.messages.clear();
        press(c.button);
        const Rows shown = rows(static_cast<int>(c.captions.size()));
        EXPECT_EQ(c.inShownOrder ? shown : sorted(shown),
                  c.inShownOrder ? c.expected : sorted(c.expected));
        EXPECT_EQ(iLayoutCode, c.layout);
        EXPECT_EQ(captions(), c.captions);
        EXPECT_EQ(sListTitle, c.title);
        EXPECT_EQ(window->cmdDeleteRecords->text().toStdString(), c.deleteCaption);
        EXPECT_FALSE(window->cmdDeleteRecords->isEnabled());
        EXPECT_EQ(resultsCaption(), "Results = " + std::to_string(c.expected.size()) + " Items");
        EXPECT_EQ(fake.messages.size(), c.messages);
        EXPECT_EQ(fake.busyDepth, 0);
    }
    EXPECT_NE(fake.messages.at(0).text.find(" in routine GetRecordSet \r\n\r\n"),
              std::string::npos);
}

TEST_F(CheckCommandsTest, FilteredChecksHonourTheFilterLists) {
    const struct {
        const char* name;
        FilterTexts filters;
        Button button;
        int columns;
        Rows expected; // compared as a set
    } cases[] = {
        // The Null tag of record 9 is not a missing tag.
        {"require tag in one drawing",
         {.drawing = "AREA1.dwg"},
         &frmTaviDatabase::cmdRequireTag,
         5,
         {{"AREA1.dwg", "Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", ""},
          {"AREA1.dwg", "Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", "   "}}},
        {"require tag elsewhere", {.drawing = "AREA2.dwg"}, &frmTaviDatabase::cmdRequireTag, 5, {}},
        {"require line by description",
         {.longDesc = "Reducer E*"},
         &frmTaviDatabase::cmdRequireNumber,
         5,
         {{"AREA1.dwg", "Reducer Eccentric A234 WPB", "   ", "4x2", "R-2"}}},
        {"require line in another spec",
         {.spec = "SS300"},
         &frmTaviDatabase::cmdRequireNumber,
         5,
         {}},
        // Only the selected records are checked, but against the whole
        // table: V-10 begins V-101 although V-101 is not selected.
        {"duplicate of one tag",
         {.tag = "V-10"},
         &frmTaviDatabase::CmdFindDuplicatetags,
         6,
         {kDupV10}},
        {"tag that begins no other",
         {.tag = "V-101"},
         &frmTaviDatabase::CmdFindDuplicatetags,
         6,
         {}},
        {"duplicates of one drawing",
         {.drawing = "AREA1.dwg"},
         &frmTaviDatabase::CmdFindDuplicatetags,
         6,
         {kDupP1a, kDupP1b, kDupP1c, kDupP2, kDupV10}},
        {"unique lines of a spec",
         {.spec = "CS150"},
         &frmTaviDatabase::cmdListUniqueLine,
         1,
         oneColumn({"", "", "   ", "0.5\"-P-4003-CS150", "1\"-P-4004-CS150", "1\"-P-9999-CS150",
                    "2\"-P-1003-CS150", "2\"-P-1004-CS150", "2\"-P-4001-CS150", "4\"-P-1001-CS150",
                    "4\"-P-1002-CS150", "4\"-P-3001-CS150", "6\"-P-5003-CS150", "8\"-P-5001-CS150",
                    "All"})},
        {"unique lines of a drawing",
         {.drawing = "AREA5.dwg"},
         &frmTaviDatabase::cmdListUniqueLine,
         1,
         oneColumn({"6\"-P-5003-CS150", "8\"-P-5001-CS150", "8\"-P-5002-CS150"})},
        {"model files ignore the filters",
         {.drawing = "AREA1.dwg", .tag = "nothing like this"},
         &frmTaviDatabase::cmdListUnique,
         1,
         oneColumn(kAllDrawings)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake.messages.clear();
        setFilters(c.filters);
        press(c.button);
        EXPECT_EQ(sorted(rows(c.columns)), sorted(c.expected));
        EXPECT_EQ(resultsCaption(), "Results = " + std::to_string(c.expected.size()) + " Items");
        EXPECT_TRUE(fake.messages.empty());
    }
}

TEST_F(CheckCommandsTest, EachCommandSendsItsStatementThroughTheQueryBuilderOrNot) {
    auto recorder = std::make_unique<RecordingDatabase>(std::move(gDatabase));
    RecordingDatabase& sent = *recorder;
    gDatabase = std::move(recorder);
    setFilters({.drawing = "AREA5.dwg", .spec = "CS150"});
    const std::string where = " WHERE DWG_NAME = 'AREA5.dwg' AND SPEC_FILE = 'CS150'";
    const std::string order = " ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";
    const struct {
        Button button;
        std::string statement;
    } cases[] = {
        {&frmTaviDatabase::cmdRequireNumber, "SELECT * FROM PIPE" + where + order},
        {&frmTaviDatabase::cmdRequireTag, "SELECT * FROM PIPE" + where + order},
        {&frmTaviDatabase::CmdFindDuplicatetags, "SELECT * FROM PIPE" + where + order},
        // The criteria, but no ordering: only the full-record query is ordered.
        {&frmTaviDatabase::cmdListUniqueLine, "SELECT DISTINCT LINE_NUM FROM Pipe" + where},
        {&frmTaviDatabase::cmdListUnique, "SELECT DISTINCT DWG_NAME FROM Pipe"},
    };
    for (const auto& c : cases) {
        sent.queried.clear();
        press(c.button);
        ASSERT_FALSE(sent.queried.empty());
        EXPECT_EQ(sent.queried.front(), c.statement);
    }
    EXPECT_TRUE(sent.executed.empty());
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(CheckCommandsTest, RowClickArmsTheDeleteOnlyOnTheListOfModelFiles) {
    press(&frmTaviDatabase::cmdSearchAll);
    clickRow(0);
    EXPECT_FALSE(window->cmdDeleteRecords->isEnabled()) << "after a search";

    for (const Button check :
         {&frmTaviDatabase::cmdRequireTag, &frmTaviDatabase::cmdListUniqueLine,
          &frmTaviDatabase::cmdRequireNumber, &frmTaviDatabase::CmdFindDuplicatetags}) {
        press(&frmTaviDatabase::cmdListUnique);
        EXPECT_FALSE(window->cmdDeleteRecords->isEnabled());
        clickRow(2);
        EXPECT_TRUE(window->cmdDeleteRecords->isEnabled());
        EXPECT_EQ(window->cmdDeleteRecords->text().toStdString(), kSingular);

        press(check);
        const std::string name = (window->*check)->text().toStdString();
        EXPECT_FALSE(window->cmdDeleteRecords->isEnabled()) << name;
        EXPECT_EQ(window->cmdDeleteRecords->text().toStdString(), kPlural) << name;
        ASSERT_GT(window->lstvResults->count(), 0) << name;
        clickRow(0);
        EXPECT_FALSE(window->cmdDeleteRecords->isEnabled()) << name;
    }
}

TEST_F(CheckCommandsTest, DuplicateTagsShowTheirColumnsEvenWhenTheQueryFails) {
    press(&frmTaviDatabase::cmdListUnique);
    ASSERT_EQ(window->lstvResults->count(), 7);
    setFilters({.tag = "O'BRIEN-1"});
    press(&frmTaviDatabase::CmdFindDuplicatetags);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_NE(fake.messages[0].text.find(" in routine GetRecordSet "), std::string::npos);
    EXPECT_EQ(captions(), kDuplicateCaptions);
    EXPECT_EQ(iLayoutCode, 11);
    EXPECT_EQ(window->lstvResults->count(), 0);
    EXPECT_EQ(resultsCaption(), "Results = 0 Items");
    EXPECT_EQ(sListTitle, "List of Duplicate Tags");
    EXPECT_EQ(fake.busyDepth, 0);
}

TEST_F(CheckCommandsTest, CommandsMarkTheWindowBusyWhileTheyRun) {
    for (const Button command :
         {&frmTaviDatabase::cmdRequireTag, &frmTaviDatabase::cmdListUniqueLine,
          &frmTaviDatabase::cmdRequireNumber, &frmTaviDatabase::CmdFindDuplicatetags,
          &frmTaviDatabase::cmdListUnique}) {
        const int before = fake.busyOnCount;
        press(command);
        EXPECT_EQ(fake.busyOnCount, before + 1) << (window->*command)->text().toStdString();
        EXPECT_EQ(fake.busyDepth, 0);
    }
}

} // namespace
} // namespace korvalt::testing
