#include "query/clsComboHandler.h"
#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "ui/ResultLayouts.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace korvalt::testing {
namespace {

using Strings = std::vector<std::string>;

class MainWindowTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        startOn(databasePath);
    }
    std::vector<std::pair<std::string, int>> columnLayout() const {
        std::vector<std::pair<std::string, int>> columns;
        for (int c = 0; c < window->lstvResults->columnCount(); ++c)
            columns.emplace_back(window->lstvResults->columnCaption(c).toStdString(),
                                 window->lstvResults->columnWidthAt(c));
        return columns;
    }
    std::vector<std::pair<std::string, int>> expectedLayout(std::int16_t code) const {
        std::vector<std::pair<std::string, int>> columns;
        const int width = window->lstvResults->listWidth();
        for (const auto& column : ResultLayouts::columns(code))
            columns.emplace_back(column.caption, width / column.divisor);
        return columns;
    }
    static Strings sorted(Strings values) {
        std::sort(values.begin(), values.end());
        return values;
    }
};

TEST_F(MainWindowTest, LoadStepFillsTheListsAndShowsTheSearchColumns) {
    EXPECT_EQ(window->windowTitle(), "Korvalt Ver. 2.1");
    EXPECT_EQ(window->txtDatabase->text().toStdString(), databasePath);
    EXPECT_FALSE(window->cmdDeleteRecords->isEnabled());
    EXPECT_EQ(iLayoutCode, 1);
    EXPECT_EQ(columnLayout(), expectedLayout(18));

    EXPECT_EQ(entries(window->cmbDrawName),
              (Strings{"All", "", "AREA1.dwg", "AREA2.dwg", "AREA3 \"north\".dwg", "AREA4.dwg",
                       "AREA5.dwg", "O'Neil-4.dwg"}));
    // Sizes sort as text; the drawn-with list offers "All" twice, the second
    // being a stored value that cannot be searched for.
    EXPECT_EQ(entries(window->cmbSize), (Strings{"All", "0.5", "0.75", "1", "10", "12", "2", "2.5",
                                                 "3", "4", "4x2", "6", "8", "8x6", "9"}));
    EXPECT_EQ(entries(window->cmbSpec), (Strings{"All", "All", "CS150", "SS300"}));
    const Strings shortList = entries(window->cmbShort);
    ASSERT_GE(shortList.size(), 6u);
    EXPECT_EQ(Strings(shortList.begin(), shortList.begin() + 2), (Strings{"All", "*val*"}));
    EXPECT_EQ(Strings(shortList.end() - 3, shortList.end()),
              (Strings{"*strainer*", "*trap*", "control*"}));
    // Case-only variants are one entry: GATE VALVE/Gate Valve, PIPE/pipe,
    // Control valve/control valve.
    EXPECT_EQ(shortList.size(), 2u + 20u + 3u);
    for (const QComboBox* list :
         {window->cmbDrawName, window->cmbSpec, window->cmbShort, window->cmbLineNum,
          window->CmbLong, window->cmbTag, window->CmbPartCode, window->cmbSize})
        EXPECT_EQ(list->currentText(), "All") << list->objectName().toStdString();

    // The Null tag and the Null line number each cost one report.
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_EQ(fake.messages[0].text,
              "Error Number 94 in routine FillTagList \r\n\r\nInvalid use of Null" +
                  gsContactFooter);
    EXPECT_EQ(fake.messages[1].text,
              "Error Number 94 in routine FillLineNumList \r\n\r\nInvalid use of Null" +
                  gsContactFooter);
    EXPECT_EQ(fake.messages[0].title, "Korvalt Error");

    // Filling is long work on a large file: every entry read is counted for
    // the progress window, and the work is over once the lists are full.
    EXPECT_EQ(fake.workDepth, 0);
    EXPECT_EQ(fake.progressOutsideWork, 0u);
    EXPECT_EQ(fake.lastRecordsRead, entries(window->cmbSize).size() - 1);
}

TEST_F(MainWindowTest, QueryBuilderWritesTheStatementsExactly) {
    const std::string order = " ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";
    const struct {
        FilterTexts filters;
        std::string base;
        std::string expected;
    } cases[] = {
        {{}, "SELECT * FROM PIPE", "SELECT * FROM PIPE" + order},
        {{.spec = "CS150", .size = "4"},
         "SELECT * FROM PIPE",
         "SELECT * FROM PIPE WHERE SPEC_FILE = 'CS150' AND ALPHA_SIZE = '4'" + order},
        {{.drawing = "AREA1.dwg", .shortDesc = "*val*"},
         "SELECT * FROM PIPE",
         "SELECT * FROM PIPE WHERE DWG_NAME LIKE 'AREA1.dwg' AND SHORT_DESC LIKE '*val*'" + order},
        {{.spec = "CS150"},
         "SELECT DISTINCT LINE_NUM FROM Pipe",
         "SELECT DISTINCT LINE_NUM FROM Pipe WHERE SPEC_FILE = 'CS150'"},
        {{.size = "2*"},
         "SELECT * FROM PIPE",
         "SELECT * FROM PIPE WHERE ALPHA_SIZE = '2*'" + order},
        {{.drawing = ""}, "SELECT * FROM PIPE", "SELECT * FROM PIPE WHERE DWG_NAME = ''" + order},
        {{.spec = "all", .tag = " P-1 "},
         "SELECT * FROM PIPE",
         "SELECT * FROM PIPE WHERE SPEC_FILE = 'all' AND TAG = ' P-1 '" + order},
        {{.tag = "O'BRIEN-1"},
         "SELECT * FROM PIPE",
         "SELECT * FROM PIPE WHERE TAG = 'O'BRIEN-1'" + order},
        {{.drawing = "A",
          .spec = "B",
          .size = "C",
          .shortDesc = "D",
          .line = "E",
          .longDesc = "F*",
          .tag = "G",
          .partCode = "H"},
         "SELECT * FROM pipe",
         "SELECT * FROM pipe WHERE DWG_NAME LIKE 'A' AND SPEC_FILE LIKE 'B' AND ALPHA_SIZE LIKE "
         "'C' AND SHORT_DESC LIKE 'D' AND LINE_NUM LIKE 'E' AND LONG_DESC LIKE 'F*' AND TAG LIKE "
         "'G' AND DB_CODE LIKE 'H'"},
    };
    for (const auto& c : cases) {
        setFilters(c.filters);
        std::string sql = c.base;
        clsComboHandler combo;
        EXPECT_EQ(combo.CreateSql(sql), c.expected);
        EXPECT_EQ(sql, c.expected);
    }
}

TEST_F(MainWindowTest, SearchListsTheMatchingRecords) {
    const struct {
        FilterTexts filters;
        Strings tags; // in the order shown, or sorted when `anyOrder`
        bool anyOrder;
    } cases[] = {
        {{.size = "10"}, {"F-1", "P-41"}, false},
        {{.spec = "SS300", .size = "6"}, {"P-21"}, false},
        {{.size = "6"}, {"P-21", "PV-500", "FE-500", "SB-500"}, false},
        {{.drawing = ""}, {"E-9"}, false},
        {{.spec = "all"}, {"RV-1"}, false},
        {{.tag = "P-*"},
         {"P-1", "P-1", "P-2", "P-20", "P-21", "P-40", "P-41", "P-50", "P-50", "p-1"},
         true},
        {{.tag = "P-#"}, {}, false},
        {{.longDesc = "*", .tag = "P-#"}, {"P-1", "P-1", "P-2", "p-1"}, true},
        {{.size = "2*"}, {}, false},
        {{.drawing = "AREA1.dwg", .shortDesc = "*val*"},
         {"P-1", "P-2", "V-10", "V-101", "p-1"},
         true},
        {{.tag = "x[2]"}, {"X[2]"}, false},
        {{.longDesc = "*", .tag = "X[[]2]"}, {"X[2]"}, false},
    };
    for (const auto& c : cases) {
        setFilters(c.filters);
        window->cmdSearchAll->click();
        const Strings tags = column(8);
        EXPECT_EQ(c.anyOrder ? sorted(tags) : tags, c.tags) << c.filters.tag;
        EXPECT_EQ(resultsCaption(), "Results = " + std::to_string(c.tags.size()) + " Items");
    }
    EXPECT_TRUE(fake.messages.size() == 2u) << "only the load step's Null reports";
    EXPECT_EQ(sListTitle, "Selective List of Items in Database");
    EXPECT_EQ(fake.busyDepth, 0);
}

TEST_F(MainWindowTest, EveryFilterAtAllListsTheWholeTableInOrder) {
    window->cmdSearchAll->click();
    EXPECT_EQ(resultsCaption(), "Results = 40 Items");
    EXPECT_EQ(fake.lastRecordsRead, 40u); // every record counted for the progress shown
    const Strings drawings = column(0);
    // Sorted by drawing name without regard to case; the empty name first.
    EXPECT_EQ(drawings.front(), "");
    EXPECT_EQ(drawings.back(), "O'Neil-4.dwg");
    EXPECT_TRUE(std::is_sorted(drawings.begin(), drawings.end()));
    EXPECT_EQ(iLayoutCode, 18);
    EXPECT_EQ(columnLayout(), expectedLayout(18));
}

TEST_F(MainWindowTest, RowsShowFieldsInLayoutOrderWithPlainNumbers) {
    setFilters({.tag = "P-20"});
    window->cmdSearchAll->click();
    ASSERT_EQ(window->lstvResults->count(), 1);
    Strings row;
    for (int k = 0; k < 11; ++k)
        row.push_back(column(k)[0]);
    EXPECT_EQ(row, (Strings{"AREA2.dwg", "Pipe A312 TP316L SCH 10", "2.5\"-P-2001-SS300", "SS300",
                            "PIP0002", "2.5", "2.5", "0", "P-20", "250.5", "PIPE"}));
}

TEST_F(MainWindowTest, MalformedCriterionIsReportedAndListsNothing) {
    fake.messages.clear();
    setFilters({.tag = "O'BRIEN-1"});
    window->cmdSearchAll->click();
    EXPECT_EQ(window->lstvResults->count(), 0);
    EXPECT_EQ(resultsCaption(), "Results = 0 Items");
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_NE(fake.messages[0].text.find(" in routine GetRecordSet \r\n\r\n"), std::string::npos);
    EXPECT_EQ(fake.busyDepth, 0);
}

TEST_F(MainWindowTest, SecondSearchKeepsColumnsTheUserWidened) {
    window->cmdSearchAll->click();
    window->lstvResults->setColumnWidth(0, 333);
    window->cmdSearchAll->click();
    EXPECT_EQ(window->lstvResults->columnWidthAt(0), 333);
}

TEST_F(MainWindowTest, ResetAllAfterACheckRestoresTheFirstLayout) {
    setFilters({.drawing = "AREA1.dwg", .tag = "*"});
    window->cmdRequireTag->click();
    EXPECT_EQ(iLayoutCode, 7);
    EXPECT_EQ(window->lstvResults->count(), 2); // the empty and the blank tag
    window->cmdReset->click();
    EXPECT_EQ(iLayoutCode, 1);
    EXPECT_EQ(columnLayout(), expectedLayout(1));
    EXPECT_EQ(window->lstvResults->count(), 0);
    EXPECT_EQ(resultsCaption(), "Results");
    EXPECT_EQ(window->cmbDrawName->currentText(), "All");
    EXPECT_EQ(window->cmbTag->currentText(), "All");
    EXPECT_EQ(sListTitle, "These Items Require a Tag");
    EXPECT_FALSE(window->cmdDeleteRecords->isEnabled());
    EXPECT_EQ(window->cmdDeleteRecords->text(), "Delete Model File Records");
}

TEST_F(MainWindowTest, ResetAllRightAfterStartKeepsTheStartColumns) {
    window->cmdReset->click();
    EXPECT_EQ(columnLayout(), expectedLayout(18));
}

TEST_F(MainWindowTest, ExitAsksAndCancelKeepsEverything) {
    fake.msgAnswers.push_back(MsgAnswer::Cancel);
    window->cmdExit->click();
    ASSERT_EQ(fake.messages.size(), 3u);
    EXPECT_EQ(fake.messages[2].text, "You are now exiting Korvalt, press OK to continue exiting");
    EXPECT_EQ(fake.messages[2].title, "Exit Korvalt");
    EXPECT_EQ(fake.messages[2].buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(frmTaviDatabaseSlot.loaded());
    EXPECT_EQ(fake.endCalls, 0);

    window->mnuFileExit->trigger();
    EXPECT_FALSE(frmTaviDatabaseSlot.loaded());
    EXPECT_EQ(fake.endCalls, 1);
}

class MissingTableTest : public MainWindowFixture {};

TEST_F(MissingTableTest, FileWithoutPipeTableLeavesTheListsEmpty) {
    startOn(KORVALT_FIXTURES_DIR "/no-pipe.mdb");
    ASSERT_EQ(fake.modals.size(), 1u);
    EXPECT_NE(fake.modals[0].label.find("recorded incorrectly"), std::string::npos);
    EXPECT_FALSE(gTableFound);
    for (const QComboBox* list :
         {window->cmbDrawName, window->cmbSpec, window->cmbShort, window->cmbLineNum,
          window->CmbLong, window->cmbTag, window->CmbPartCode, window->cmbSize}) {
        EXPECT_EQ(list->count(), 0);
        EXPECT_EQ(list->currentText(), "");
    }
    EXPECT_TRUE(fake.messages.empty());
}

class EmptyTableTest : public MainWindowFixture {};

TEST_F(EmptyTableTest, EmptyPipeTableOffersOnlyTheFixedEntries) {
    startOn(KORVALT_FIXTURES_DIR "/pipe-empty.mdb");
    EXPECT_EQ(entries(window->cmbTag), Strings{"All"});
    EXPECT_EQ(entries(window->cmbShort),
              (Strings{"All", "*val*", "*strainer*", "*trap*", "control*"}));
    window->cmdSearchAll->click();
    EXPECT_EQ(resultsCaption(), "Results = 0 Items");
}

} // namespace
} // namespace korvalt::testing
