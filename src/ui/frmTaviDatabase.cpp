#include "ui/frmTaviDatabase.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "query/clsComboHandler.h"
#include "query/clsListHandler.h"
#include "results/ReportCatalog.h"
#include "results/clsDataHandler.h"
#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "startup/frmSplash.h"
#include "ui/CsvExport.h"
#include "ui/ResultLayouts.h"
#include "ui/ResultsListView.h"
#include "ui/Toolkit.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace korvalt {

namespace {
constexpr const char* kDeletePlural = "Delete Model File Records";
// The singular caption marks a list of model files, where a row click arms
// the delete.
constexpr const char* kDeleteSingular = "Delete Model File Record";
constexpr const char* kBrowseMessage =
    "Please browse to the correct location of the database file.";
} // namespace

frmTaviDatabase::frmTaviDatabase() {
    setObjectName("frmTaviDatabase");
    setWindowTitle("Korvalt");
    buildControls();
    arrangeControls();

    wire(cmdSearchAll, "cmdSearchAll_Click", &frmTaviDatabase::cmdSearchAll_Click);
    wire(cmdReset, "cmdReset_Click", &frmTaviDatabase::cmdReset_Click);
    wire(Command1, "Command1_Click", &frmTaviDatabase::Command1_Click);
    wire(cmdRequireNumber, "cmdRequireNumber_Click", &frmTaviDatabase::cmdRequireNumber_Click);
    wire(cmdListUniqueLine, "cmdListUniqueLine_Click", &frmTaviDatabase::cmdListUniqueLine_Click);
    wire(CmdFindDuplicatetags, "CmdFindDuplicatetags_Click",
         &frmTaviDatabase::CmdFindDuplicatetags_Click);
    wire(cmdRequireTag, "cmdRequireTag_Click", &frmTaviDatabase::cmdRequireTag_Click);
    wire(cmdListUnique, "cmdListUnique_Click", &frmTaviDatabase::cmdListUnique_Click);
    wire(cmdDeleteRecords, "cmdDeleteRecords_Click", &frmTaviDatabase::cmdDeleteRecords_Click);
    connect(lstvResults, &ResultsListView::itemClicked, this,
            &frmTaviDatabase::lstvResults_ItemClick);
    connect(lstvResults, &ResultsListView::columnClicked, this,
            &frmTaviDatabase::lstvResults_ColumnClick);
    wire(cmdExport, "cmdExport_Click", &frmTaviDatabase::cmdExport_Click);
    wire(cmdExit, "cmdExit_Click", &frmTaviDatabase::cmdExit_Click);
    wire(mnuChgData, "mnuChgData_Click", &frmTaviDatabase::mnuChgData_Click);
    wire(mnuFileExit, "mnuFileExit_Click", &frmTaviDatabase::mnuFileExit_Click);
    // Enter in a filter list searches with what has been typed.
    for (QComboBox* list :
         {cmbTag, CmbPartCode, cmbDrawName, cmbSpec, cmbSize, CmbLong, cmbLineNum, cmbShort})
        connect(list->lineEdit(), &QLineEdit::returnPressed, cmdSearchAll, &QPushButton::click);
}

frmTaviDatabase::~frmTaviDatabase() = default;

template <typename Sender, typename Signal>
void frmTaviDatabase::wireSignal(Sender* sender, Signal signal, const char* routine,
                                 void (frmTaviDatabase::*handler)()) {
    connect(sender, signal, this, [this, routine, handler] { guarded(routine, handler); });
}

void frmTaviDatabase::wire(QPushButton* button, const char* routine,
                           void (frmTaviDatabase::*handler)()) {
    wireSignal(button, &QPushButton::clicked, routine, handler);
}

void frmTaviDatabase::wire(QAction* action, const char* routine,
                           void (frmTaviDatabase::*handler)()) {
    wireSignal(action, &QAction::triggered, routine, handler);
}

void frmTaviDatabase::guarded(const char* routine, void (frmTaviDatabase::*handler)()) {
    // The database and query routines report their own errors; anything
    // else that goes wrong inside a command is reported here rather than
    // being allowed to take the program down.
    try {
        (this->*handler)();
    } catch (...) {
        const ErrorInfo error = ErrorReport::current();
        TheToolkit().setBusyPointer(false);
        ErrorReport::show(error, std::string(routine) + " ", "", "Korvalt Error");
    }
}

void frmTaviDatabase::Form_Load() {
    setWindowTitle("Korvalt Ver. 2.1");
    oCombo = std::make_unique<clsComboHandler>();
    placeOnScreen();
    // The start-up columns are those of the search while the layout code
    // still says 1, so the first search rebuilds them. Their widths come
    // from the list as the window will show it.
    const int listWidth = lstvResults->listWidth();
    for (const ResultLayouts::Column& column : ResultLayouts::columns(18))
        lstvResults->addColumn(column.caption, listWidth / column.divisor);
    // A server's address shows without its password.
    if (gDatabaseControl)
        txtDatabase->setText(QString::fromStdString(HidePassword(gDatabaseControl->dataAddress())));
    cmdDeleteRecords->setEnabled(false);
    oCombo->FillComboBox();
}

std::string frmTaviDatabase::modelFileName() const {
    return lblFileName->text().toStdString();
}

void frmTaviDatabase::HourGlass_On() {
    TheToolkit().setBusyPointer(true);
    cmdDeleteRecords->setEnabled(false);
}

void frmTaviDatabase::HourGlass_Off() {
    TheToolkit().setBusyPointer(false);
}

void frmTaviDatabase::SetListColumns(std::int16_t& code) {
    iLayoutCode = ResultLayouts::apply(*lstvResults, code);
}

void frmTaviDatabase::showResultCount() {
    frmResults->setTitle(QString("Results = %1 Items").arg(lstvResults->count()));
}

void frmTaviDatabase::runReport(const ReportSpec& report, const char* deleteCaption) {
    oDatahand = std::make_unique<clsDataHandler>(*lstvResults);
    oListHandler = std::make_unique<clsListHandler>();
    oCombo = std::make_unique<clsComboHandler>();
    HourGlass_On();
    const auto applyLayout = [&] {
        if (iLayoutCode != report.layout) {
            std::int16_t layout = report.layout;
            SetListColumns(layout);
        }
    };
    // The duplicate-tag check applies its columns before it clears the
    // rows; the others clear first.
    const bool layoutFirst = report.mode == 11;
    if (layoutFirst)
        applyLayout();
    oListHandler->ClearList();
    std::string sql = report.baseStatement;
    if (report.filtered)
        sql = oCombo->CreateSql(sql);
    if (!layoutFirst)
        applyLayout();
    std::int16_t mode = report.mode;
    oDatahand->SendToDatabase(sql, mode);
    showResultCount();
    oDatahand.reset();
    oListHandler.reset();
    oCombo.reset();
    sListTitle = report.title;
    cmdDeleteRecords->setText(deleteCaption);
    HourGlass_Off();
}

void frmTaviDatabase::cmdSearchAll_Click() {
    runReport(ReportCatalog::get("search"), kDeletePlural);
}

void frmTaviDatabase::cmdRequireNumber_Click() {
    runReport(ReportCatalog::get("require-line"), kDeletePlural);
}

void frmTaviDatabase::cmdListUniqueLine_Click() {
    runReport(ReportCatalog::get("unique-lines"), kDeletePlural);
}

void frmTaviDatabase::CmdFindDuplicatetags_Click() {
    runReport(ReportCatalog::get("duplicate-tags"), kDeletePlural);
}

void frmTaviDatabase::cmdRequireTag_Click() {
    runReport(ReportCatalog::get("require-tag"), kDeletePlural);
}

void frmTaviDatabase::cmdListUnique_Click() {
    runReport(ReportCatalog::get("model-files"), kDeleteSingular);
}

void frmTaviDatabase::cmdDeleteRecords_Click() {
    HourGlass_On();
    int selected = -1;
    for (int position = 0; position < lstvResults->count(); ++position) {
        if (lstvResults->isSelected(position))
            selected = position;
    }
    // The row that armed the button may have been deselected since; with
    // nothing chosen nothing may be deleted.
    if (selected < 0) {
        HourGlass_Off();
        TheToolkit().msgBox("No model file is selected, so nothing was deleted. Click the model "
                            "file in the list first.",
                            "Korvalt", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    oCombo = std::make_unique<clsComboHandler>();
    oListHandler = std::make_unique<clsListHandler>();
    oDatahand = std::make_unique<clsDataHandler>(*lstvResults);
    std::string fileName = lstvResults->text(selected);
    oCombo->DeleteRecord(fileName);
    oListHandler->ClearList();
    if (iLayoutCode != 22) {
        std::int16_t layout = 22;
        SetListColumns(layout);
    }
    std::string sql = ReportCatalog::get("model-files").baseStatement;
    std::int16_t mode = 18;
    oDatahand->SendToDatabase(sql, mode);
    showResultCount();
    cmdDeleteRecords->setEnabled(false);
    oCombo.reset();
    oListHandler.reset();
    oDatahand.reset();
    HourGlass_Off();
}

void frmTaviDatabase::lstvResults_ItemClick(int) {
    if (cmdDeleteRecords->text() == kDeleteSingular)
        cmdDeleteRecords->setEnabled(true);
}

void frmTaviDatabase::lstvResults_ColumnClick(int index) {
    try {
        // "1" means the last sort was descending (or there was none yet).
        if (lblSortOrder->text().toInt() == 1) {
            lstvResults->setSortOrder(0);
            lblSortOrder->setText("0");
        } else {
            lstvResults->setSortOrder(1);
            lblSortOrder->setText("1");
        }
        lstvResults->setSortKey(index - 1);
        lstvResults->setSorted(true);
    } catch (...) {
        ErrorReport::show(ErrorReport::current(), "lstvResults_ColumnClick ", "", "DKorvalt");
    }
}

void frmTaviDatabase::cmdExport_Click() {
    try {
        if (lstvResults->count() == 0) {
            TheToolkit().msgBox("There are no Records Listed", "Save List Error", MsgButtons::Ok,
                                MsgIcon::None);
            return;
        }
    } catch (...) {
        ErrorReport::show(ErrorReport::current(), "SaveDrawingList ", "", "Korvalt Error");
        return;
    }
    // From here on a cancel, or any failure outside the writing itself,
    // ends the command without a word.
    try {
        const auto chosen = TheToolkit().saveFileDialog(
            "Export Record List", "Comma Delimited Files (*.csv)|*.csv", true);
        if (!chosen || chosen->empty())
            return;
        std::string file = *chosen;
        WriteList(file);
    } catch (...) {
    }
}

void frmTaviDatabase::WriteList(std::string& sFile) {
    try {
        // Written as it is read, so a million rows need no second copy.
        CsvExport::writeList(sFile, sListTitle, iLayoutCode, *lstvResults);
    } catch (...) {
        ErrorReport::show(ErrorReport::current(), "WriteList ", "", "Korvalt Error");
    }
}

void frmTaviDatabase::cmdReset_Click() {
    for (QComboBox* list :
         {cmbDrawName, cmbSpec, cmbShort, cmbLineNum, CmbLong, cmbTag, CmbPartCode, cmbSize})
        list->setEditText("All");
    lstvResults->clearItems();
    cmdDeleteRecords->setText(kDeletePlural);
    cmdDeleteRecords->setEnabled(false);
    if (iLayoutCode != 1) {
        std::int16_t layout = 1;
        SetListColumns(layout);
    }
    frmResults->setTitle("Results");
}

void frmTaviDatabase::cmdExit_Click() {
    const MsgAnswer answer =
        TheToolkit().msgBox("You are now exiting Korvalt, press OK to continue exiting",
                            "Exit Korvalt", MsgButtons::OkCancel, MsgIcon::None);
    if (answer != MsgAnswer::Ok)
        return;
    frmTaviDatabaseSlot.unload();
    gDatabaseControl.reset();
    // The main window was the last one open.
    TheToolkit().endProgram();
}

void frmTaviDatabase::mnuFileExit_Click() {
    cmdExit_Click();
}
void frmTaviDatabase::Command1_Click() {
    frmLocateData::ShowWithMessage(kBrowseMessage);
}
void frmTaviDatabase::mnuChgData_Click() {
    frmLocateData::ShowWithMessage(kBrowseMessage);
}

} // namespace korvalt
