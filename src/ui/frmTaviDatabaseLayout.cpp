// The controls of the main window, how they are arranged, and where the
// window goes on the screen.
#include "ui/frmTaviDatabase.h"

#include "startup/Module1.h"
#include "ui/ResultsListView.h"
#include "ui/Toolkit.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QCompleter>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>

#include <algorithm>

namespace korvalt {

namespace {
// Room kept for the title bar and borders that the window manager adds:
// they are only known once the window is on the screen.
constexpr QMargins kTypicalFrame(8, 32, 8, 8);
// The filter lists size themselves from this many characters, never from
// their entries: a list of 100,000 long descriptions must neither widen the
// window nor be measured.
constexpr int kFilterListCharacters = 8;

QPushButton* makeButton(const char* caption, const char* tip, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(tip);
    return button;
}

// An editable drop-down whose entries keep the order they were added in.
QComboBox* makeFilterList(const char* name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setMaxVisibleItems(25);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(kFilterListCharacters);
    list->setModel(new QStringListModel(list));
    // Completion must never change what the user typed: "all" is a
    // criterion, "All" is not.
    list->completer()->setCaseSensitivity(Qt::CaseSensitive);
    if (auto* view = qobject_cast<QListView*>(list->view()))
        view->setUniformItemSizes(true);
    return list;
}

// A caption with its control right under it.
QVBoxLayout* captioned(QLabel* caption, QWidget* control) {
    auto* pair = new QVBoxLayout;
    pair->setSpacing(2);
    pair->addWidget(caption);
    pair->addWidget(control);
    return pair;
}
} // namespace

void frmTaviDatabase::buildControls() {
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
    Frame8 = new QGroupBox("Search Criteria", Frame1);
    Label6 = new QLabel("Tag", Frame8);
    cmbTag = makeFilterList("cmbTag", Frame8);
    Label14 = new QLabel("Part Code", Frame8);
    CmbPartCode = makeFilterList("CmbPartCode", Frame8);
    txtDwgName = new QLabel("Drawing Name", Frame8);
    cmbDrawName = makeFilterList("cmbDrawName", Frame8);
    Label1 = new QLabel("Libary Specification", Frame8);
    cmbSpec = makeFilterList("cmbSpec", Frame8);
    Label3 = new QLabel("Size", Frame8);
    cmbSize = makeFilterList("cmbSize", Frame8);
    Label5 = new QLabel("Long Description", Frame8);
    CmbLong = makeFilterList("CmbLong", Frame8);
    txtLine = new QLabel("Line Number", Frame8);
    cmbLineNum = makeFilterList("cmbLineNum", Frame8);
    Label2 = new QLabel("Short Description", Frame8);
    cmbShort = makeFilterList("cmbShort", Frame8);
    cmdReset = makeButton("Reset All", "Reset all search options", Frame8);
    cmdSearchAll = makeButton("Search", "Search database based on Search Options", Frame8);
    lblFileName = new QLabel(Frame8);
    // It holds a model file name, which must never be read as markup.
    lblFileName->setTextFormat(Qt::PlainText);
    lblFileName->hide();
    lblSortOrder = new QLabel("1", Frame8);
    lblSortOrder->hide();

    Frame2 = new QGroupBox("Misc Checks - Search Options", Frame1);
    cmdRequireTag = makeButton("These Items Require a Tag",
                               "Locates items requiring a tag based on Search Options", Frame2);
    cmdListUniqueLine = makeButton("List Unique Line Numbers",
                                   "List all the Line Numbers based on Search Options", Frame2);
    cmdRequireNumber =
        makeButton("These Items Require a Line Number",
                   "Locates items requiring a line number based on Search Options", Frame2);
    CmdFindDuplicatetags =
        makeButton("Find Duplicate Tags", "Finds Duplicate Tags based on Search Options", Frame2);
    Frame6 = new QGroupBox("Misc Checks - Full database", Frame1);
    cmdListUnique =
        makeButton("List All Model Files", "List all the pipe model files in the Database", Frame6);
    cmdDeleteRecords =
        makeButton("Delete Model File Records",
                   "Deletes all the records belonging to this pipe model file", Frame6);

    frmResults = new QGroupBox("Results", central);
    lstvResults = new ResultsListView(frmResults);
    lstvResults->setObjectName("lstvResults");
    // Shown over the list by the toolkit while long work goes on.
    auto* work = new QFrame(frmResults);
    work->setObjectName(kWorkProgressName);
    work->setFrameShape(QFrame::StyledPanel);
    work->setAutoFillBackground(true);
    work->setFixedSize(420, 72);
    auto* workText = new QLabel(work);
    workText->setObjectName("workProgressText");
    workText->setGeometry(14, 10, 392, 22);
    auto* workBar = new QProgressBar(work);
    workBar->setRange(0, 0);
    workBar->setTextVisible(false);
    workBar->setGeometry(14, 38, 392, 20);
    work->hide();

    Frame4 = new QGroupBox(central);
    cmdExport = makeButton("Export Results", "Export results to CSV file", Frame4);
    Label4 = new QLabel("CadWorx Database:", Frame4);
    txtDatabase = new QLineEdit(Frame4);
    txtDatabase->setObjectName("txtDatabase");
    Command1 = makeButton("Browse", "Browse to new database file location", Frame4);
    cmdExit = makeButton("Exit", "Exit", Frame4);
}

void frmTaviDatabase::arrangeControls() {
    // Search criteria: two rows of captioned lists on five equal columns;
    // the long description spans two of them, the buttons take the last.
    auto* criteria = new QGridLayout(Frame8);
    criteria->setContentsMargins(8, 4, 8, 8);
    criteria->setHorizontalSpacing(10);
    criteria->setVerticalSpacing(4);
    QLabel* firstRowCaptions[] = {Label6, Label14, txtDwgName, Label1, Label3};
    QComboBox* firstRow[] = {cmbTag, CmbPartCode, cmbDrawName, cmbSpec, cmbSize};
    for (int column = 0; column < 5; ++column) {
        criteria->addLayout(captioned(firstRowCaptions[column], firstRow[column]), 0, column);
        criteria->setColumnStretch(column, 1);
    }
    criteria->addLayout(captioned(Label5, CmbLong), 1, 0, 1, 2);
    criteria->addLayout(captioned(txtLine, cmbLineNum), 1, 2);
    criteria->addLayout(captioned(Label2, cmbShort), 1, 3);
    auto* searchButtons = new QHBoxLayout;
    searchButtons->setSpacing(6);
    searchButtons->addWidget(cmdReset);
    searchButtons->addWidget(cmdSearchAll);
    criteria->addLayout(searchButtons, 1, 4, Qt::AlignBottom);

    auto* checks = new QGridLayout(Frame2);
    checks->setContentsMargins(8, 4, 8, 8);
    checks->addWidget(cmdRequireTag, 0, 0);
    checks->addWidget(cmdListUniqueLine, 0, 1);
    checks->addWidget(cmdRequireNumber, 0, 2);
    checks->addWidget(CmdFindDuplicatetags, 1, 0);
    auto* fullChecks = new QGridLayout(Frame6);
    fullChecks->setContentsMargins(8, 4, 8, 8);
    fullChecks->addWidget(cmdListUnique, 0, 0);
    fullChecks->addWidget(cmdDeleteRecords, 0, 1);
    fullChecks->setRowStretch(1, 1);

    auto* upper = new QGridLayout(Frame1);
    upper->setContentsMargins(4, 4, 4, 4);
    upper->setSpacing(4);
    upper->addWidget(Frame8, 0, 0, 1, 2);
    upper->addWidget(Frame2, 1, 0);
    upper->addWidget(Frame6, 1, 1);
    upper->setColumnStretch(0, 2);
    upper->setColumnStretch(1, 1);

    // The list takes whatever room the window has to spare; the work panel
    // shares its cell, centred over it whatever its size.
    auto* results = new QGridLayout(frmResults);
    results->setContentsMargins(6, 4, 6, 6);
    results->addWidget(lstvResults, 0, 0);
    results->addWidget(frmResults->findChild<QWidget*>(kWorkProgressName), 0, 0, Qt::AlignCenter);

    auto* bottom = new QHBoxLayout(Frame4);
    bottom->setContentsMargins(6, 6, 6, 6);
    bottom->addWidget(cmdExport);
    bottom->addStretch(1);
    bottom->addWidget(Label4);
    bottom->addWidget(txtDatabase, 4);
    bottom->addWidget(Command1);
    bottom->addStretch(1);
    bottom->addWidget(cmdExit);

    auto* groups = new QVBoxLayout(centralWidget());
    groups->setContentsMargins(4, 2, 4, 4);
    groups->setSpacing(2);
    groups->addWidget(Frame1);
    groups->addWidget(frmResults, 1);
    groups->addWidget(Frame4);

    // Row by row, left to right: the check frames share their first row.
    QWidget* const reading[] = {
        cmbTag,           CmbPartCode,   cmbDrawName,      cmbSpec,
        cmbSize,          CmbLong,       cmbLineNum,       cmbShort,
        cmdReset,         cmdSearchAll,  cmdRequireTag,    cmdListUniqueLine,
        cmdRequireNumber, cmdListUnique, cmdDeleteRecords, CmdFindDuplicatetags,
        lstvResults,      cmdExport,     txtDatabase,      Command1,
        cmdExit};
    for (std::size_t i = 1; i < std::size(reading); ++i)
        setTabOrder(reading[i - 1], reading[i]);
}

QRect frmTaviDatabase::availableArea() const {
    // The toolkit says how much room the screen offers; the screen says
    // where that room begins (a task bar may sit at the left or the top).
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->availableGeometry().topLeft() : QPoint();
    return {origin, QSize(TheToolkit().screenWidth(), TheToolkit().screenHeight())};
}

void frmTaviDatabase::placeOnScreen() {
    ensurePolished();
    const QRect area = availableArea();
    const QSize preferred(1142, 640 + menuBar()->sizeHint().height());
    resize(preferred.boundedTo(area.size().shrunkBy(kTypicalFrame)).expandedTo(minimumSizeHint()));
    // Centred across, a third of the spare room above, and never off the
    // top or left edge of the screen when the window is larger than it.
    const QSize outer = size().grownBy(kTypicalFrame);
    move(std::max(area.left(), area.left() + (area.width() - outer.width()) / 2),
         std::max(area.top(), area.top() + (area.height() - outer.height()) / 3));
    settleLayouts();
}

void frmTaviDatabase::settleLayouts() {
    // Layouts of a window not yet shown run only when it shows; the column
    // widths must be taken from the list as it will then be, so the layouts
    // are run now, outer ones first.
    layout()->activate();
    centralWidget()->layout()->activate();
    for (QWidget* child : centralWidget()->findChildren<QWidget*>()) {
        if (!child->isWindow() && child->layout())
            child->layout()->activate();
    }
}

} // namespace korvalt
