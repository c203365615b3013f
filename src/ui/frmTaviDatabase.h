#pragma once

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvalt {

class ResultsListView;
class clsComboHandler;
class clsDataHandler;
class clsListHandler;
struct ReportSpec;

// The working window: the filter lists, the report commands, the results
// list and the database box.
class frmTaviDatabase : public QMainWindow {
    Q_OBJECT
public:
    frmTaviDatabase();
    ~frmTaviDatabase() override;

    void Form_Load();

    // Name of the model file chosen for deletion (hidden label).
    std::string modelFileName() const;

    // Search criteria.
    QGroupBox* Frame1;
    QGroupBox* Frame8;
    QLabel* Label6;
    QComboBox* cmbTag;
    QLabel* Label14;
    QComboBox* CmbPartCode;
    QLabel* txtDwgName;
    QComboBox* cmbDrawName;
    QLabel* Label1;
    QComboBox* cmbSpec;
    QLabel* Label3;
    QComboBox* cmbSize;
    QLabel* Label5;
    QComboBox* CmbLong;
    QLabel* txtLine;
    QComboBox* cmbLineNum;
    QLabel* Label2;
    QComboBox* cmbShort;
    QPushButton* cmdReset;
    QPushButton* cmdSearchAll;
    QLabel* lblFileName;
    QLabel* lblSortOrder;

    // Check commands.
    QGroupBox* Frame2;
    QPushButton* cmdRequireTag;
    QPushButton* cmdListUniqueLine;
    QPushButton* cmdRequireNumber;
    QPushButton* CmdFindDuplicatetags;
    QGroupBox* Frame6;
    QPushButton* cmdListUnique;
    QPushButton* cmdDeleteRecords;

    // Results.
    QGroupBox* frmResults;
    ResultsListView* lstvResults;

    // Bottom bar and menu.
    QGroupBox* Frame4;
    QPushButton* cmdExport;
    QLabel* Label4;
    QLineEdit* txtDatabase;
    QPushButton* Command1;
    QPushButton* cmdExit;
    QAction* mnuChgData;
    QAction* mnuFileMRU;
    QAction* mnuFileExit;

    // Commands.
    void cmdSearchAll_Click();
    void cmdReset_Click();
    void cmdExit_Click();
    void mnuFileExit_Click();
    void Command1_Click();
    void mnuChgData_Click();

    // Check commands.
    void cmdRequireNumber_Click();
    void cmdListUniqueLine_Click();
    void CmdFindDuplicatetags_Click();
    void cmdRequireTag_Click();
    void cmdListUnique_Click();
    void cmdDeleteRecords_Click();
    void lstvResults_ItemClick(int position);
    void lstvResults_ColumnClick(int index);

    // Export.
    void cmdExport_Click();
    void WriteList(std::string& sFile);

    void HourGlass_On();
    void HourGlass_Off();
    // Replaces the columns of the results list with those of a layout.
    void SetListColumns(std::int16_t& code);

private:
    // Creates the controls, then puts them into layouts: the results list
    // takes the room the window has beyond what the other groups need.
    void buildControls();
    void arrangeControls();
    // The part of the screen a window may use.
    QRect availableArea() const;
    // Gives the window its size, as large as designed where the screen
    // allows, and its place on the screen, with the layouts already applied.
    void placeOnScreen();
    void settleLayouts();

    // Connects a control to a command; errors that escape the command are
    // reported, not thrown through the event loop.
    void wire(QPushButton* button, const char* routine, void (frmTaviDatabase::*handler)());
    void wire(QAction* action, const char* routine, void (frmTaviDatabase::*handler)());
    template <typename Sender, typename Signal>
    void wireSignal(Sender* sender, Signal signal, const char* routine,
                    void (frmTaviDatabase::*handler)());
    void guarded(const char* routine, void (frmTaviDatabase::*handler)());
    // Runs a report command: clears and fills the list, shows the count,
    // leaves the export title and the delete button's caption.
    void runReport(const ReportSpec& report, const char* deleteCaption);
    // "Results = <count> Items" in the results frame.
    void showResultCount();

    std::unique_ptr<clsDataHandler> oDatahand;
    std::unique_ptr<clsListHandler> oListHandler;
    std::unique_ptr<clsComboHandler> oCombo;
};

} // namespace korvalt
