#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QTimer;

namespace korvalt {

// Splash window shown while start-up opens the database. Its timer fires
// once and hands over to the main window.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    frmSplash();

    QGroupBox* Frame1;
    QLabel* DAta;
    QLabel* lblVersion;
    QTimer* Timer1;

    void Form_Load();
    void Timer1_Timer();
};

} // namespace korvalt
