#include "ui/frmTaviDatabase.h"

#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "startup/Twips.h"
#include "startup/frmLocateData.h"
#include "startup/frmSplash.h"
#include "ui/Toolkit.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

namespace korvalt {

namespace {
void showLocateWindow() {
    frmLocateData& locate = frmLocateDataSlot.get();
    locate.setMessage("Please browse to the correct location of the database file.");
    TheToolkit().showModal(locate);
}

void askAndExit() {
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
} // namespace

frmTaviDatabase::frmTaviDatabase() {
    setObjectName("frmTaviDatabase");
    setWindowTitle("Korvalt");
    auto* central = new QWidget(this);
    setCentralWidget(central);

    QMenu* mnuFile = menuBar()->addMenu("&File");
    mnuChgData = mnuFile->addAction("Change Database File");
    mnuFile->addSeparator();
    mnuFileExit = mnuFile->addAction("Exit");

    Frame4 = new QGroupBox(central);
    Frame4->setGeometry(twipsRect(60, 9480, 17010, 780));
    cmdExport = new QPushButton("Export Results", Frame4);
    cmdExport->setToolTip("Export results to CSV file");
    cmdExport->setGeometry(twipsRect(120, 240, 1800, 420));
    cmdExport->setEnabled(false);
    Label4 = new QLabel("CadWorx Database:", Frame4);
    Label4->setGeometry(twipsRect(3000, 300, 1800, 300));
    txtDatabase = new QLineEdit(Frame4);
    txtDatabase->setGeometry(twipsRect(4800, 240, 7200, 420));
    Command1 = new QPushButton("Browse", Frame4);
    Command1->setToolTip("Browse to new database file location");
    Command1->setGeometry(twipsRect(12120, 240, 1200, 420));
    cmdExit = new QPushButton("Exit", Frame4);
    cmdExit->setToolTip("Exit");
    cmdExit->setGeometry(twipsRect(15600, 240, 1200, 420));
    lblFileName = new QLabel(central);
    lblFileName->hide();

    connect(Command1, &QPushButton::clicked, this, &frmTaviDatabase::Command1_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmTaviDatabase::cmdExit_Click);
    connect(mnuChgData, &QAction::triggered, this, &frmTaviDatabase::mnuChgData_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmTaviDatabase::mnuFileExit_Click);

    // Load step.
    setWindowTitle("Korvalt Ver. 2.1");
    resize(twips(17130), twips(10305) + menuBar()->sizeHint().height());
    move((TheToolkit().screenWidth() - width()) / 2, (TheToolkit().screenHeight() - height()) / 3);
    if (gDatabaseControl)
        txtDatabase->setText(QString::fromStdString(gDatabaseControl->dataAddress()));
}

std::string frmTaviDatabase::modelFileName() const {
    return lblFileName->text().toStdString();
}

void frmTaviDatabase::Command1_Click() {
    showLocateWindow();
}
void frmTaviDatabase::mnuChgData_Click() {
    showLocateWindow();
}
void frmTaviDatabase::cmdExit_Click() {
    askAndExit();
}
void frmTaviDatabase::mnuFileExit_Click() {
    askAndExit();
}

} // namespace korvalt
