#include "ui/frmTaviDatabase.h"

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
#include <QFrame>
#include <QCompleter>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>

namespace korvalt {

namespace {
constexpr const char* kDeletePlural = "Delete Model File Records";
// The singular caption marks a list of model files, where a row click arms
// the delete.
constexpr const char* kDeleteSingular = "Delete Model File Record";
constexpr const char* kBrowseMessage =
    "Please browse to the correct location of the database file.";

QPushButton* makeButton(const char* caption, const char* tip, QWidget* parent, const QRect& at) {
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(tip);
    button->setGeometry(at);
    return button;
}

QLabel* makeLabel(const char* caption, QWidget* parent, const QRect& at) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(at);
    return label;
}

// An editable drop-down whose entries keep the order they were added in.
QComboBox* makeFilterList(const char* name, QWidget* parent, const QRect& at) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setMaxVisibleItems(25);
    list->setModel(new QStringListModel(list));
    // Completion must never change what the user typed: "all" is a
    // criterion, "All" is not.
    list->completer()->setCaseSensitivity(Qt::CaseSensitive);
    if (auto* view = qobject_cast<QListView*>(list->view()))
        view->setUniformItemSizes(true);
    list->setGeometry(at);
    return list;
}

} // namespace

frmTaviDatabase::frmTaviDatabase() {
    setObjectName("frmTaviDatabase");
    setWindowTitle("Korvalt");
    auto* central = new QWidget(this);
    setCentralWidget(central);

    QMenu* mnuFile = menuBar()->addMenu("&File");
    mnuFile->setObjectName("MnuFile");
    mnuChgData = mnuFile->addAction("Change Database File");
    mnuFileMRU = mnuFile->addSeparator();
    mnuFileExit = mnuFile->addAction("Exit");

    // Search criteria and the two check frames share one frame without a
    // caption.
    Frame1 = new QGroupBox(central);
    Frame1->setGeometry(4, 2, 1134, 210);
    Frame8 = new QGroupBox("Search Criteria", Frame1);
    Frame8->setGeometry(6, 4, 1122, 112);
    const int x[] = {12, 232, 452, 672, 892};
    Label6 = makeLabel("Tag", Frame8, {x[0], 20, 210, 18});
    cmbTag = makeFilterList("cmbTag", Frame8, {x[0], 38, 210, 26});
    Label14 = makeLabel("Part Code", Frame8, {x[1], 20, 210, 18});
    CmbPartCode = makeFilterList("CmbPartCode", Frame8, {x[1], 38, 210, 26});
    txtDwgName = makeLabel("Drawing Name", Frame8, {x[2], 20, 210, 18});
    cmbDrawName = makeFilterList("cmbDrawName", Frame8, {x[2], 38, 210, 26});
    Label1 = makeLabel("Libary Specification", Frame8, {x[3], 20, 210, 18});
    cmbSpec = makeFilterList("cmbSpec", Frame8, {x[3], 38, 210, 26});
    Label3 = makeLabel("Size", Frame8, {x[4], 20, 210, 18});
    cmbSize = makeFilterList("cmbSize", Frame8, {x[4], 38, 210, 26});
    Label5 = makeLabel("Long Description", Frame8, {x[0], 66, 430, 18});
    CmbLong = makeFilterList("CmbLong", Frame8, {x[0], 84, 430, 26});
    txtLine = makeLabel("Line Number", Frame8, {x[2], 66, 210, 18});
    cmbLineNum = makeFilterList("cmbLineNum", Frame8, {x[2], 84, 210, 26});
    Label2 = makeLabel("Short Description", Frame8, {x[3], 66, 210, 18});
    cmbShort = makeFilterList("cmbShort", Frame8, {x[3], 84, 210, 26});
    cmdReset = makeButton("Reset All", "Reset all search options", Frame8, {x[4], 82, 100, 28});
    cmdSearchAll = makeButton("Search", "Search database based on Search Options", Frame8,
                              {x[4] + 110, 82, 100, 28});
    lblFileName = new QLabel(Frame8);
    lblFileName->hide();
    lblSortOrder = new QLabel("1", Frame8);
    lblSortOrder->hide();

    Frame2 = new QGroupBox("Misc Checks - Search Options", Frame1);
    Frame2->setGeometry(6, 118, 740, 88);
    cmdRequireTag = makeButton("These Items Require a Tag",
                               "Locates items requiring a tag based on Search Options", Frame2,
                               {10, 22, 235, 28});
    cmdListUniqueLine =
        makeButton("List Unique Line Numbers", "List all the Line Numbers based on Search Options",
                   Frame2, {252, 22, 235, 28});
    cmdRequireNumber = makeButton("These Items Require a Line Number",
                                  "Locates items requiring a line number based on Search Options",
                                  Frame2, {494, 22, 236, 28});
    CmdFindDuplicatetags =
        makeButton("Find Duplicate Tags", "Finds Duplicate Tags based on Search Options", Frame2,
                   {10, 54, 235, 28});
    Frame6 = new QGroupBox("Misc Checks - Full database", Frame1);
    Frame6->setGeometry(752, 118, 376, 88);
    cmdListUnique =
        makeButton("List All Model Files", "List all the pipe model files in the Database", Frame6,
                   {10, 22, 175, 28});
    cmdDeleteRecords =
        makeButton(kDeletePlural, "Deletes all the records belonging to this pipe model file",
                   Frame6, {191, 22, 175, 28});

    frmResults = new QGroupBox("Results", central);
    frmResults->setGeometry(4, 214, 1134, 370);
    lstvResults = new ResultsListView(frmResults);
    lstvResults->setObjectName("lstvResults");
    lstvResults->setGeometry(8, 22, 1118, 340);
    // Shown over the list by the toolkit while long work goes on.
    auto* work = new QFrame(frmResults);
    work->setObjectName(kWorkProgressName);
    work->setFrameShape(QFrame::StyledPanel);
    work->setAutoFillBackground(true);
    work->setGeometry(357, 140, 420, 72);
    auto* workText = new QLabel(work);
    workText->setObjectName("workProgressText");
    workText->setGeometry(14, 10, 392, 22);
    auto* workBar = new QProgressBar(work);
    workBar->setRange(0, 0);
    workBar->setTextVisible(false);
    workBar->setGeometry(14, 38, 392, 20);
    work->hide();

    Frame4 = new QGroupBox(central);
    Frame4->setGeometry(4, 586, 1134, 50);
    cmdExport =
        makeButton("Export Results", "Export results to CSV file", Frame4, {8, 12, 130, 30});
    Label4 = makeLabel("CadWorx Database:", Frame4, {300, 17, 128, 20});
    txtDatabase = new QLineEdit(Frame4);
    txtDatabase->setObjectName("txtDatabase");
    txtDatabase->setGeometry(432, 14, 430, 26);
    Command1 =
        makeButton("Browse", "Browse to new database file location", Frame4, {870, 12, 90, 30});
    cmdExit = makeButton("Exit", "Exit", Frame4, {1040, 12, 86, 30});

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

    setFixedSize(1142, 640 + menuBar()->sizeHint().height());
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
    move((TheToolkit().screenWidth() - width()) / 2, (TheToolkit().screenHeight() - height()) / 3);
    // The start-up columns are those of the search while the layout code
    // still says 1, so the first search rebuilds them.
    const int listWidth = lstvResults->listWidth();
    for (const ResultLayouts::Column& column : ResultLayouts::columns(18))
        lstvResults->addColumn(column.caption, listWidth / column.divisor);
    if (gDatabaseControl)
        txtDatabase->setText(QString::fromStdString(gDatabaseControl->dataAddress()));
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
