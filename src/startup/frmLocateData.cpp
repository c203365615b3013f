#include "startup/frmLocateData.h"

#include "database/clsDatabaseControl.h"
#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "startup/Twips.h"
#include "startup/clsIniControl.h"
#include "startup/frmSplash.h"
#include "ui/frmTaviDatabase.h"
#include "ui/Toolkit.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace korvalt {

namespace {
QPushButton* makeButton(const char* caption, const char* tip, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(tip);
    return button;
}

// The design, in twips: the client area, the frame and, inside the frame,
// the message, the caption, the address box and Browse; then Apply, the
// rightmost of the three buttons below the frame.
constexpr int kClientWidth = twips(7005);
constexpr int kClientHeight = twips(2415);
constexpr QRect kFrame = twipsRect(45, 45, 6900, 1815);
constexpr QRect kMessage = twipsRect(150, 330, 5775, 510);
constexpr QRect kCaption = twipsRect(135, 1305, 1995, 375);
constexpr QRect kAddress = twipsRect(1710, 1260, 3840, 375);
constexpr QRect kBrowse = twipsRect(5715, 1260, 1080, 375);
constexpr QRect kApply = twipsRect(5760, 1980, 1080, 375);
// Spaces the design leaves between controls and around them.
constexpr int kButtonGap = twips(4320 - 2880 - 1080);
constexpr int kCaptionGap = twips(90);
constexpr int kMessageGap = twips(150);
constexpr int kBrowseGap = kBrowse.x() - (kAddress.x() + kAddress.width());
constexpr int kFrameRightMargin = kFrame.width() - (kBrowse.x() + kBrowse.width());
constexpr int kFrameBottomMargin = kFrame.height() - (kAddress.y() + kAddress.height());
constexpr int kMessageRightMargin = kFrame.width() - (kMessage.x() + kMessage.width());
constexpr int kClientRightMargin = kClientWidth - (kApply.x() + kApply.width());
constexpr int kClientFrameMargin = kClientWidth - (kFrame.x() + kFrame.width());
constexpr int kClientBottomMargin = kClientHeight - (kApply.y() + kApply.height());
constexpr int kButtonsTopGap = kApply.y() - (kFrame.y() + kFrame.height());
} // namespace

frmLocateData::frmLocateData()
    : Frame1(new QGroupBox("Database Location", this)), Label1(new QLabel(Frame1)),
      lblDatabase(new QLabel("Database Location", Frame1)), txtAddress(new QLineEdit(Frame1)),
      cmdDatabaseBrowse(makeButton("Browse", "Locates Database", Frame1)),
      cmdok(makeButton("Ok", "Apply Changes and exit", this)),
      cmdCancel(makeButton("Cancel", "Cancel", this)),
      cmdApply(makeButton("Apply", "Apply Changes", this)) {
    setObjectName("frmLocateData");
    Label1->setObjectName("Label1");
    txtAddress->setObjectName("txtAddress");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle("Locate CadWorx Database File");
    // The explanation may run to a few lines; they read from the top.
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDatabase->setTextFormat(Qt::PlainText);
    arrange();

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

void frmLocateData::arrange() {
    // The four buttons share one size, the largest any caption needs.
    QSize button = kApply.size();
    for (const QPushButton* b : {cmdDatabaseBrowse, cmdok, cmdCancel, cmdApply})
        button = button.expandedTo(b->sizeHint());
    const int rowHeight = std::max({kAddress.height(), txtAddress->sizeHint().height(),
                                    lblDatabase->sizeHint().height(), button.height()});

    // The caption ends before the address box, which moves right if needed
    // and keeps at least its design width; Browse stays at the frame's edge.
    const int addressX =
        std::max(kAddress.x(), kCaption.x() + lblDatabase->sizeHint().width() + kCaptionGap);
    const int rowWidth = addressX + kAddress.width() + kBrowseGap + button.width();
    const int clientWidth =
        std::max({kClientWidth, kFrame.x() + rowWidth + kFrameRightMargin + kClientFrameMargin,
                  kFrame.x() + 3 * button.width() + 2 * kButtonGap + kClientRightMargin});
    const int frameWidth = clientWidth - kFrame.x() - kClientFrameMargin;
    const int browseX = frameWidth - kFrameRightMargin - button.width();

    // The message starts below the frame's title and takes the lines its
    // text needs at the width it has.
    const int messageY = std::max(kMessage.y(), Frame1->contentsMargins().top());
    const int messageWidth = frameWidth - kMessageRightMargin - kMessage.x();
    const int messageHeight = std::max(kMessage.height(), Label1->heightForWidth(messageWidth));
    const int rowY = std::max(kAddress.y(), messageY + messageHeight + kMessageGap);
    const int frameHeight = std::max(kFrame.height(), rowY + rowHeight + kFrameBottomMargin);

    Frame1->setGeometry(kFrame.x(), kFrame.y(), frameWidth, frameHeight);
    Label1->setGeometry(kMessage.x(), messageY, messageWidth, messageHeight);
    lblDatabase->setGeometry(kCaption.x(), rowY, addressX - kCaptionGap - kCaption.x(), rowHeight);
    txtAddress->setGeometry(addressX, rowY, browseX - kBrowseGap - addressX, rowHeight);
    cmdDatabaseBrowse->setGeometry(browseX, rowY, button.width(), rowHeight);

    const int buttonsY = kFrame.y() + frameHeight + kButtonsTopGap;
    int x = clientWidth - kClientRightMargin - button.width();
    for (QPushButton* b : {cmdApply, cmdCancel, cmdok}) {
        b->setGeometry(x, buttonsY, button.width(), button.height());
        x -= button.width() + kButtonGap;
    }

    const QSize client(clientWidth,
                       std::max(kClientHeight, buttonsY + button.height() + kClientBottomMargin));
    if (client == size())
        return;
    setFixedSize(client);
    // Loaded but not yet shown: it stays centred as it grows.
    if (!isVisible() && m_centred)
        centre();
}

void frmLocateData::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        arrange();
}

void frmLocateData::centre() {
    move((TheToolkit().screenWidth() - width()) / 2, (TheToolkit().screenHeight() - height()) / 2);
}

void frmLocateData::Form_Load() {
    centre();
    m_centred = true;
    txtAddress->clear();
}

frmLocateData::~frmLocateData() = default;

void frmLocateData::setMessage(const std::string& text) {
    Label1->setText(QString::fromStdString(text));
    arrange();
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
