#pragma once

#include <QMainWindow>

#include <string>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvalt {

// The working window. This first version carries the database box, the
// bottom bar and the menu; the search controls join it later.
class frmTaviDatabase : public QMainWindow {
    Q_OBJECT
public:
    frmTaviDatabase();

    // Name of the model file chosen for deletion (hidden label).
    std::string modelFileName() const;

    QGroupBox* Frame4;
    QPushButton* cmdExport;
    QLabel* Label4;
    QLineEdit* txtDatabase;
    QPushButton* Command1;
    QPushButton* cmdExit;
    QLabel* lblFileName;
    QAction* mnuChgData;
    QAction* mnuFileExit;

    void Command1_Click();
    void mnuChgData_Click();
    void cmdExit_Click();
    void mnuFileExit_Click();
};

} // namespace korvalt
