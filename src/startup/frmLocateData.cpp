#include "startup/frmLocateData.h"

#include "database/clsDatabaseControl.h"
#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "startup/Twips.h"
#include "startup/clsIniControl.h"
#include "startup/frmSplash.h"
#include "ui/frmTaviDatabase.h"
#include "ui/Toolkit.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace korvalt {

namespace {
QPushButton* makeButton(const char* caption, const char* tip, QWidget* parent, const QRect& at) {
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(tip);
    button->setGeometry(at);
    return button;
}
} // namespace

frmLocateData::frmLocateData()
    : Frame1(new QGroupBox("Database Location", this)), Label1(new QLabel(Frame1)),
      lblDatabase(new QLabel("Database Location", Frame1)), txtAddress(new QLineEdit(Frame1)),
      cmdDatabaseBrowse(
          makeButton("Browse", "Locates Database", Frame1, twipsRect(5715, 1260, 1080, 375))),
      cmdok(makeButton("Ok", "Apply Changes and exit", this, twipsRect(2880, 1980, 1080, 375))),
      cmdCancel(makeButton("Cancel", "Cancel", this, twipsRect(4320, 1980, 1080, 375))),
      cmdApply(makeButton("Apply", "Apply Changes", this, twipsRect(5760, 1980, 1080, 375))) {
    setObjectName("frmLocateData");
    Label1->setObjectName("Label1");
    txtAddress->setObjectName("txtAddress");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle("Locate CadWorx Database File");
    setFixedSize(twips(7005), twips(2415));
    Frame1->setGeometry(twipsRect(45, 45, 6900, 1815));
    Label1->setGeometry(twipsRect(150, 330, 5775, 510));
    Label1->setWordWrap(true);
    lblDatabase->setGeometry(twipsRect(135, 1305, 1995, 375));
    txtAddress->setGeometry(twipsRect(1710, 1260, 3840, 375));

    setTabOrder(cmdDatabaseBrowse, txtAddress);
    setTabOrder(txtAddress, cmdCancel);
    setTabOrder(cmdCancel, cmdApply);
    setTabOrder(cmdApply, cmdok);

    connect(cmdDatabaseBrowse, &QPushButton::clicked, this,
            &frmLocateData::cmdDatabaseBrowse_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmLocateData::cmdApply_Click);
    connect(cmdok, &QPushButton::clicked, this, &frmLocateData::cmdok_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLocateData::cmdCancel_Click);
}

void frmLocateData::Form_Load() {
    move((TheToolkit().screenWidth() - width()) / 2, (TheToolkit().screenHeight() - height()) / 2);
    txtAddress->clear();
}

frmLocateData::~frmLocateData() = default;

void frmLocateData::setMessage(const std::string& text) {
    Label1->setText(QString::fromStdString(text));
}

void frmLocateData::ShowWithMessage(const std::string& text) {
    frmLocateData& locate = frmLocateDataSlot.get();
    locate.setMessage(text);
    TheToolkit().showModal(locate);
}

void frmLocateData::cmdDatabaseBrowse_Click() {
    // Cancelling the dialog, or any failure, leaves the window as it was.
    try {
        const auto chosen = TheToolkit().openFileDialog("All Database Files (*.mdb)|*.mdb|", true);
        if (!chosen)
            return;
        txtAddress->setText(QString::fromStdString(*chosen));
        cmdApply->setEnabled(true);
    } catch (...) {
    }
}

bool frmLocateData::writeAddress(const char* blankMessage, const char* routinePart) {
    try {
        oINI = std::make_unique<clsIniControl>();
        const std::string address = txtAddress->text().trimmed().toStdString();
        if (address.empty()) {
            TheToolkit().msgBox(blankMessage, "Error", MsgButtons::Ok, MsgIcon::Exclamation);
            txtAddress->setFocus();
            txtAddress->selectAll();
            return false;
        }
        oINI->iniFile = gsSettingsFolder + kPathSeparator + "Korvalt.ini";
        oINI->iniSub = "db_address";
        oINI->iniHeading = "dbaddress";
        oINI->iniData = address;
        oINI->LetIniString();
    } catch (...) {
        ErrorReport::show(ErrorReport::current(), routinePart, "", "Korvalt Error");
    }
    return true;
}

void frmLocateData::cmdApply_Click() {
    if (!writeAddress("Please Enter The Address for the Routine Database file.", "cmdApply_Click "))
        return;
    cmdCancel->setEnabled(false);
}

void frmLocateData::cmdok_Click() {
    if (!writeAddress("Please Enter The Address for the Database file.", "cmdOK_Click "))
        return;
    TheToolkit().msgBox("Korvalt will now quit. Restart Korvalt to continue.",
                        "Korvalt Explanation", MsgButtons::Ok, MsgIcon::Information);
    // The new address takes effect at the next start, so the program ends
    // here whoever opened this window.
    frmLocateDataSlot.unload();
    frmTaviDatabaseSlot.unload();
    frmSplashSlot.unload();
    gDatabaseControl.reset();
    TheToolkit().endProgram();
}

void frmLocateData::cmdCancel_Click() {
    frmLocateDataSlot.unload();
}

} // namespace korvalt
