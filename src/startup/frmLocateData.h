#pragma once

#include <QWidget>

#include <memory>
#include <string>

class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvalt {

class clsIniControl;

// Lets the user record where the database file lives. Always shown
// modally; whoever opens it first puts an explanation in Label1.
class frmLocateData : public QWidget {
    Q_OBJECT
public:
    frmLocateData();
    ~frmLocateData() override;

    void setMessage(const std::string& text);
    // Every opener does the same: put its explanation in the message label,
    // then show the window modally and wait until it has closed.
    static void ShowWithMessage(const std::string& text);

    QGroupBox* Frame1;
    QLabel* Label1;
    QLabel* lblDatabase;
    QLineEdit* txtAddress;
    QPushButton* cmdDatabaseBrowse;
    QPushButton* cmdok;
    QPushButton* cmdCancel;
    QPushButton* cmdApply;

    void Form_Load();
    void cmdDatabaseBrowse_Click();
    void cmdApply_Click();
    void cmdok_Click();
    void cmdCancel_Click();

protected:
    void changeEvent(QEvent* event) override;

private:
    // Puts the controls on their design positions, grown where their text
    // needs more room in the font in use, and fits the window around them.
    void arrange();
    void centre();

    // Writes the trimmed address; false (after telling the user) when it is
    // blank.
    bool writeAddress(const char* blankMessage, const char* routinePart);

    std::unique_ptr<clsIniControl> oINI;
    // Set by the load step; until shown, a window that grows stays centred.
    bool m_centred = false;
};

} // namespace korvalt
