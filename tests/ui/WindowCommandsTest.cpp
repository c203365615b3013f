#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <sqlite3.h>

#include <algorithm>
#include <map>

namespace korvalt::testing {
namespace {

// The designed columns of each layout: "Caption/n" gets 1/n of the width.
const std::map<int, std::string> kLayouts = {
    {1, "Drawing Name/7|Description/3|Line No/5|Drawn With Spec/11|Product Code/11|Size/25|"
        "Main/25|Red/25|Tag/16|Length/14|Short/7"},
    {7, "Drawing/6|Description/2|Line Number/7|Size/15|Tag/13"},
    {11, "Model Tag/10|Drawing/7|Line Number/5|Description/3|Short Desc./7|Size/14"},
    {18, "Drawing Name/7|Description/4|Line No/10|Drawn With Spec/9|Product Code/12|Size/25|"
         "Main/25|Red/25|Tag/14|Length/14|Short/7"},
    {20, "Line Number/1"},
    {21, "Drawing/6|Description/2|Line Number/7|Size/15|Tag/13"},
    {22, "Drawing Number/1"},
};
const std::string kModelFiles = "\n\nAREA1.dwg\nAREA2.dwg\nAREA3 \"north\".dwg\nAREA4.dwg\n"
                                "AREA5.dwg\nO'Neil-4.dwg";

class WindowCommandsTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        startOn(databasePath);
        window->show();
        QApplication::processEvents();
        fake.messages.clear();
    }
    std::string caption() const { return window->frmResults->title().toStdString(); }
    // The results frame's caption, the delete button, then every row (sorted when `anyOrder`).
    std::string screen(bool anyOrder = false) const {
        Strings lines = shownRows();
        if (anyOrder)
            std::sort(lines.begin(), lines.end());
        std::string text = caption() + "; " + window->cmdDeleteRecords->text().toStdString() +
                           (window->cmdDeleteRecords->isEnabled() ? " on" : " off");
        for (const std::string& line : lines)
            text += "\n" + line;
        return text;
    }
    // The layout code and the columns shown, as "code: Caption/width|...".
    std::string layout() const {
        const ResultsListView& list = *window->lstvResults;
        std::string shown = std::to_string(iLayoutCode) + ":";
        for (int c = 0; c < list.columnCount(); ++c)
            shown += (c ? "|" : " ") + list.columnCaption(c).toStdString() + "/" +
                     std::to_string(list.columnWidthAt(c));
        return shown;
    }
    // `code` with the columns of layout `shape` as wide as the list must show them.
    std::string designed(int code, int shape) const {
        std::string columns = kLayouts.at(shape);
        for (std::size_t at = columns.find('/'); at != std::string::npos;
             at = columns.find('/', at + 1)) {
            const std::size_t end = std::min(columns.find('|', at), columns.size());
            const int divisor = std::stoi(columns.substr(at + 1, end - at - 1));
            columns.replace(at + 1, end - at - 1,
                            std::to_string(window->lstvResults->listWidth() / divisor));
        }
        return std::to_string(code) + ": " + columns;
    }
    std::string designed(int code) const { return designed(code, code); }
    // The messages shown, one a line: "title [buttons icon] text".
    std::string said() const {
        static const char* const buttons[] = {"Ok", "OkCancel"};
        static const char* const icons[] = {"", " Critical", " Exclamation", " Information"};
        std::string all;
        for (const FakeToolkit::Message& m : fake.messages)
            all += m.title + " [" + buttons[static_cast<int>(m.buttons)] +
                   icons[static_cast<int>(m.icon)] + "] " + m.text + "\n";
        return all;
    }
    // Lists the model files and arms the delete with a click on `drawing`.
    void armDelete(const std::string& drawing) {
        window->cmdListUnique->click();
        const Strings rows = shownRows();
        clickRow(static_cast<int>(std::find(rows.begin(), rows.end(), drawing) - rows.begin()));
        ASSERT_TRUE(window->cmdDeleteRecords->isEnabled());
    }
};

TEST_F(WindowCommandsTest, LoadShowsTheDesignedWindow) {
    EXPECT_EQ(window->windowTitle(), "Korvalt Ver. 2.1");
    EXPECT_EQ(window->txtDatabase->text().toStdString(), databasePath);
    EXPECT_EQ(screen(), "Results; Delete Model File Records off");
    EXPECT_EQ(layout(), designed(1, 18)); // the search's columns, though the code is 1
    EXPECT_EQ(window->lblSortOrder->text(), "1");
    std::string captions;
    for (const QLabel* label :
         {window->Label6, window->Label14, window->txtDwgName, window->Label1, window->Label3,
          window->Label5, window->txtLine, window->Label2, window->Label4})
        captions += label->text().toStdString() + "|";
    for (const QGroupBox* frame : {window->Frame1, window->Frame8, window->Frame2, window->Frame6})
        captions += "[" + frame->title().toStdString() + "]";
    const QMenu* file = window->menuBar()->findChild<QMenu*>("MnuFile");
    ASSERT_NE(file, nullptr);
    captions += file->title().toStdString() + ":";
    for (const QAction* action : file->actions())
        captions += (action->isSeparator() ? "-" : action->text().toStdString()) + ",";
    for (const QPushButton* b :
         {window->cmdReset, window->cmdSearchAll, window->cmdRequireTag, window->cmdListUniqueLine,
          window->cmdRequireNumber, window->CmdFindDuplicatetags, window->cmdListUnique,
          window->cmdDeleteRecords, window->cmdExport, window->Command1, window->cmdExit})
        captions += "\n" + b->text().toStdString() + " (" + b->toolTip().toStdString() + ")";
    EXPECT_EQ(captions, "Tag|Part Code|Drawing Name|Libary Specification|Size|Long Description|"
                        "Line Number|Short Description|CadWorx Database:|[][Search Criteria][Misc "
                        "Checks - Search Options][Misc Checks - Full database]&File:Change "
                        "Database File,-,Exit,\nReset All (Reset all search options)\n"
                        "Search (Search database based on Search Options)\n"
                        "These Items Require a Tag (Locates items requiring a tag based on Search "
                        "Options)\nList Unique Line Numbers (List all the Line Numbers based on "
                        "Search Options)\nThese Items Require a Line Number (Locates items "
                        "requiring a line number based on Search Options)\nFind Duplicate Tags "
                        "(Finds Duplicate Tags based on Search Options)\nList All Model Files "
                        "(List all the pipe model files in the Database)\nDelete Model File "
                        "Records (Deletes all the records belonging to this pipe model file)\n"
                        "Export Results (Export results to CSV file)\nBrowse (Browse to new "
                        "database file location)\nExit (Exit)");
    // On the screen, Tab goes row by row, left to right.
    EXPECT_TRUE(QRect(0, 0, fake.width, fake.height).contains(window->frameGeometry()));
    EXPECT_EQ(window->width(), 17130 / 15); // as designed, 17130 twips, where the screen allows
    std::vector<QWidget*> stops;
    for (QWidget* w = window->cmbTag; stops.size() < 21; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy() &&
            w->isVisibleTo(window))
            stops.push_back(w);
    EXPECT_EQ(stops.back(), window->cmdExit);
    for (std::size_t i = 1; i < stops.size(); ++i) {
        const QRect before(stops[i - 1]->mapTo(window, QPoint()), stops[i - 1]->size());
        const QRect after(stops[i]->mapTo(window, QPoint()), stops[i]->size());
        EXPECT_TRUE(after.top() > before.bottom() ||
                    (before.top() <= after.bottom() && after.left() > before.right()))
            << stops[i]->objectName().toStdString();
    }
    // Reset All at the start keeps the start-up columns; an unknown layout means layout 1.
    window->cmdReset->click();
    EXPECT_EQ(layout(), designed(1, 18));
    std::int16_t unknown = 5;
    window->SetListColumns(unknown);
    EXPECT_EQ(layout(), designed(1));
    // The panel for long work sits hidden, centred over the list.
    QWidget* work = window->frmResults->findChild<QWidget*>(kWorkProgressName);
    ASSERT_NE(work, nullptr);
    EXPECT_TRUE(work->isHidden() && work->findChild<QLabel*>("workProgressText"));
    work->show();
    QApplication::processEvents();
    EXPECT_LE(
        (work->geometry().center() - window->lstvResults->geometry().center()).manhattanLength(),
        1);
    const QSize list = window->lstvResults->size();
    window->resize(window->size() + QSize(100, 80)); // the room goes to the list
    QApplication::processEvents();
    EXPECT_EQ(window->lstvResults->size(), list + QSize(100, 80));
}

TEST_F(WindowCommandsTest, SearchListsWholeRowsAndCountsThem) {
    window->cmbSize->setEditText("10"); // Enter in a filter list searches
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    fake.busyOnCount = 0;
    QApplication::sendEvent(window->cmbSize, &enter);
    EXPECT_EQ(fake.busyOnCount, 1); // where the keyboard is: the list, which searches once
    EXPECT_EQ(screen(), "Results = 2 Items; Delete Model File Records off\n"
                        "AREA2.dwg|Flange WN A182 F316|10\"-P-2003-SS300|SS300|FLG0050|10|10|0|"
                        "F-1|0|FLANGE\n"
                        "AREA4.dwg|Pipe A106-B SCH 80|0.5\"-P-4003-CS150|CS150|PIP0004|10|10|0|"
                        "P-41|30|PIPE");
    EXPECT_EQ(layout(), designed(18));
    EXPECT_EQ(sListTitle, "Selective List of Items in Database");
    // A second search keeps the columns, and a width the user gave one.
    window->lstvResults->setColumnWidth(0, 333);
    setFilters({.tag = "P-20"});
    window->cmdSearchAll->click();
    EXPECT_EQ(screen(), "Results = 1 Items; Delete Model File Records off\nAREA2.dwg|Pipe A312 "
                        "TP316L SCH 10|2.5\"-P-2001-SS300|SS300|PIP0002|2.5|2.5|0|P-20|250.5|PIPE");
    EXPECT_EQ(window->lstvResults->columnWidthAt(0), 333);
    setFilters({});
    window->cmdSearchAll->click();
    EXPECT_EQ(caption(), "Results = 40 Items");
    EXPECT_EQ(fake.busyDepth, 0);
}

TEST_F(WindowCommandsTest, EachCheckFillsItsLayoutWithTheRowsTheFiltersSelect) {
    const std::string elbow = "\nAREA1.dwg|Elbow 90 LR A234 WPB|4\"-P-1001-CS150|4|";
    const std::string plural = "; Delete Model File Records off";
    // clang-format off
    const struct {
        QPushButton* frmTaviDatabase::*button;
        FilterTexts filters;
        int layout;
        const char* title;
        std::string screen; // rows sorted
    } cases[] = {
        {&frmTaviDatabase::cmdRequireNumber, {.longDesc = "Reducer*"}, 21,
         "These Items Require a Line Number", "Results = 2 Items" + plural +
         "\nAREA1.dwg|Reducer Concentric A234 WPB||4x2|R-1"
         "\nAREA1.dwg|Reducer Eccentric A234 WPB|   |4x2|R-2"},
        {&frmTaviDatabase::cmdRequireTag, {.drawing = "AREA1.dwg"}, 7, "These Items Require a Tag",
         "Results = 2 Items" + plural + elbow + elbow + "   "},
        {&frmTaviDatabase::cmdListUniqueLine, {.drawing = "AREA5.dwg"}, 20, "List of line Numbers",
         "Results = 3 Items" + plural + "\n6\"-P-5003-CS150\n8\"-P-5001-CS150\n8\"-P-5002-CS150"},
        {&frmTaviDatabase::CmdFindDuplicatetags, {.drawing = "AREA1.dwg"}, 11,
         "List of Duplicate Tags", "Results = 5 Items" + plural +
         "\nP-1|AREA1.dwg|4\"-P-1001-CS150|Gate Valve A105 Class 150|GATE VALVE|2"
         "\nP-1|AREA1.dwg|4\"-P-1001-CS150|Pipe A106-B SCH 40|PIPE|1"
         "\nP-2|AREA1.dwg|2\"-P-1003-CS150|Globe Valve A105|GLOBE VALVE|4"
         "\nV-10|AREA1.dwg|2\"-P-1003-CS150|Check Valve A105|CHECK VALVE|5"
         "\np-1|AREA1.dwg|4\"-P-1002-CS150|Gate Valve A105 Class 150|Gate Valve|3"},
        {&frmTaviDatabase::cmdListUnique, {.drawing = "AREA1.dwg", .tag = "nothing like this"}, 22,
         "List of Drawing Numbers in Database",
         "Results = 7 Items; Delete Model File Record off" + kModelFiles},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        armDelete("AREA2.dwg");
        setFilters(c.filters);
        fake.busyOnCount = 0;
        (window->*c.button)->click();
        EXPECT_EQ(screen(true), c.screen);
        EXPECT_EQ(layout(), designed(c.layout));
        EXPECT_EQ(sListTitle, c.title);
        EXPECT_EQ(fake.busyOnCount, 1);
        EXPECT_EQ(fake.busyDepth, 0);
        if (window->lstvResults->count() > 0) { // only a model file's row arms the delete
            clickRow(0);
            EXPECT_EQ(window->cmdDeleteRecords->isEnabled(), c.layout == 22);
        }
    }
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(WindowCommandsTest, ResetAllShowsTheFirstLayoutEmpty) {
    setFilters({.drawing = "AREA1.dwg", .tag = "*"});
    window->cmdRequireTag->click();
    armDelete("AREA1.dwg");
    window->cmdReset->click();
    EXPECT_EQ(screen(), "Results; Delete Model File Records off");
    EXPECT_EQ(layout(), designed(1));
    for (const QComboBox* list :
         {window->cmbDrawName, window->cmbSpec, window->cmbShort, window->cmbLineNum,
          window->CmbLong, window->cmbTag, window->CmbPartCode, window->cmbSize})
        EXPECT_EQ(list->currentText(), "All") << list->objectName().toStdString();
    EXPECT_EQ(sListTitle, "List of Drawing Numbers in Database");
    EXPECT_EQ(fake.busyDepth, 0);
}

TEST_F(WindowCommandsTest, HeaderClicksSortAlternatelyWhateverTheColumn) {
    window->cmdSearchAll->click();
    const auto sortedBy = [this](int key) {
        std::string text = window->lblSortOrder->text().toStdString() + ":";
        for (int position = 0; position < window->lstvResults->count(); ++position)
            text += " " + cell(position, key);
        EXPECT_TRUE(window->lstvResults->sorted());
        EXPECT_EQ(window->lstvResults->sortKey(), key);
        EXPECT_EQ(std::to_string(window->lstvResults->sortOrder()), text.substr(0, 1));
        return text;
    };
    clickHeader(9); // Tag, ascending; then Size, descending, then ascending
    EXPECT_EQ(sortedBy(8), "0:       All B-1 C-1 E-9 F-1 F-2 FE-500 FV-1203 G-1 HV-7 HV-7  MV-1 "
                           "O'BRIEN-1 P-1 p-1 P-1 P-2 P-20 P-21 P-40 P-41 P-50 P-50 PV-500 R-1 R-2 "
                           "RV-1 SB-500 SP-1 ST-1 T-1 T-50 T-51 V-10 V-101 X#1 X[2]");
    clickHeader(6);
    EXPECT_EQ(sortedBy(5),
              "1: 9 8x6 8x6 8 8 6 6 6 6 4x2 4x2 4 4 4 4 4 4 4 4 4 3 2.5 2 2 2 2 2 2 12 "
              "12 10 10 1 1 1 1 1 0.75 0.5 0.5");
    clickHeader(6);
    EXPECT_EQ(sortedBy(5),
              "0: 0.5 0.5 0.75 1 1 1 1 1 10 10 12 12 2 2 2 2 2 2 2.5 3 4 4 4 4 4 4 4 4 "
              "4 4x2 4x2 6 6 6 6 8 8 8x6 8x6 9");
    // A later report keeps the sort, even with fewer columns than its key.
    setFilters({.drawing = "AREA5.dwg"});
    window->cmdListUniqueLine->click();
    EXPECT_EQ(sortedBy(5), "0:   ");
    clickHeader(1);
    EXPECT_EQ(sortedBy(0), "1: 8\"-P-5002-CS150 8\"-P-5001-CS150 6\"-P-5003-CS150");
}

TEST_F(WindowCommandsTest, ExportWritesTheListAsShown) {
    EXPECT_EQ(exportAs("never.csv"), ""); // nothing listed: said so, no dialog
    EXPECT_EQ(said(), "Save List Error [Ok] There are no Records Listed\n");
    fake.messages.clear();
    fake.saveFiles.clear();

    setFilters({.size = "10"});
    window->cmdSearchAll->click();
    window->cmdExport->click();                  // cancelled: nothing written, nothing said
    writeFile("report", std::string(5000, 'x')); // replaced, and no extension added
    EXPECT_EQ(exportAs("report"),
              "\"Selective List of Items in Database\"\r\n\"\"\r\n\"Drawing Name\",\"Long "
              "Description\",\"Line Number\",\"Specification\",\"Part Code\",\"Size\",\"Main\","
              "\"Red\",\"Tag\",\"Length\",\"Short Description\"\r\n"
              "\"AREA2.dwg\",\"Flange WN A182 F316\",\"10\"\"-P-2003-SS300\",\"SS300\",\"FLG0050\","
              "\"10\",\"10\",\"0\",\"F-1\",\"0\",\"FLANGE\"\r\n"
              "\"AREA4.dwg\",\"Pipe A106-B SCH 80\",\"0.5\"\"-P-4003-CS150\",\"CS150\",\"PIP0004\","
              "\"10\",\"10\",\"0\",\"P-41\",\"30\",\"PIPE\"\r\n");
    EXPECT_EQ(fake.saveRequests,
              Strings(2, "Export Record List|Comma Delimited Files (*.csv)|*.csv|ask"));

    exportAs("missing/out.csv"); // reported; the next export works again
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(said().rfind("Korvalt Error [Ok Critical] Error Number 75 in routine WriteList "
                           "\r\n\r\nPath/File access error: '" +
                               tempPath("missing/out.csv") + "' could not be written (",
                           0),
              0u)
        << said();
    EXPECT_FALSE(exportAs("again.csv").empty());
    EXPECT_EQ(fake.messages.size(), 1u);
}

TEST_F(WindowCommandsTest, DeleteRemovesTheChosenModelFileOnlyWhenConfirmed) {
    // The model files listed afresh, the drawings offered, then the records left.
    const auto state = [this] {
        const std::string shown = screen(true) + "\n" + sListTitle + "\n" +
                                  std::to_string(window->cmbDrawName->count()) + " " +
                                  window->cmbTag->currentText().toStdString();
        EXPECT_EQ(layout(), designed(22));
        EXPECT_EQ(fake.busyDepth, 0);
        setFilters({});
        window->cmdSearchAll->click();
        return shown + "\n" + caption();
    };
    const std::string listed = "; Delete Model File Record off" + kModelFiles;
    const auto question = [](const std::string& drawing) {
        return "Confirm Delete [OkCancel] Are you sure you want to delete all Records for " +
               drawing + " from this Database\n";
    };
    armDelete("AREA1.dwg");
    window->cmbTag->setEditText("P-1");
    fake.msgAnswers = {MsgAnswer::Cancel};
    window->cmdDeleteRecords->click();
    EXPECT_EQ(state(), "Results = 7 Items" + listed +
                           "\nList of Drawing Numbers in Database\n8 P-1\nResults = 40 Items");
    EXPECT_EQ(window->modelFileName(), "AREA1.dwg");

    armDelete("AREA1.dwg");
    window->cmdDeleteRecords->click(); // OK
    std::string left = listed;
    left.erase(left.find("AREA1.dwg\n"), 10);
    const std::string after = "Results = 6 Items" + left +
                              "\nList of Drawing Numbers in Database\n7 All\nResults = 28 Items";
    EXPECT_EQ(state(), after);

    armDelete("AREA2.dwg"); // the row that armed the button deselected since
    window->lstvResults->clearSelection();
    window->cmdDeleteRecords->click();
    EXPECT_EQ(state(), after);
    EXPECT_EQ(said(), question("AREA1.dwg") + question("AREA1.dwg") +
                          "Korvalt [Ok Information] No model file is selected, so nothing was "
                          "deleted. Click the model file in the list first.\n");

    // A delete the database refuses is reported; the lists are refilled all the same.
    const char* const keep =
        "CREATE TRIGGER keep BEFORE DELETE ON Pipe BEGIN SELECT RAISE(ABORT, 'kept'); END;";
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, keep, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    fake.messages.clear();
    armDelete("AREA2.dwg");
    window->cmdDeleteRecords->click();
    EXPECT_EQ(state(), after);
    EXPECT_EQ(said(), question("AREA2.dwg") +
                          "Korvalt [Ok Critical] Error Number 3000 in routine DeleteRecord "
                          "\r\n\r\nkept" +
                          gsSupportFooter + "\n");
}

TEST_F(WindowCommandsTest, ExitAsksFirst) {
    fake.msgAnswers.push_back(MsgAnswer::Cancel);
    window->cmdExit->click();
    EXPECT_EQ(
        said(),
        "Exit Korvalt [OkCancel] You are now exiting Korvalt, press OK to continue exiting\n");
    EXPECT_TRUE(frmTaviDatabaseSlot.loaded());
    EXPECT_EQ(fake.endCalls, 0);
    window->mnuFileExit->trigger();
    EXPECT_FALSE(frmTaviDatabaseSlot.loaded());
    EXPECT_EQ(gDatabaseControl, nullptr);
    EXPECT_EQ(fake.endCalls, 1);
}

} // namespace
} // namespace korvalt::testing
