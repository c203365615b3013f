#include "startup/frmSplash.h"

#include "startup/Module1.h"
#include "startup/Twips.h"
#include "ui/Toolkit.h"
#include "ui/frmTaviDatabase.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>

namespace korvalt {

frmSplash::frmSplash()
    : Frame1(new QGroupBox(this)), DAta(new QLabel("Korvalt 2.1", Frame1)),
      lblVersion(new QLabel("For CadWorx", Frame1)), Timer1(new QTimer(this)) {
    setObjectName("frmSplash");
    setWindowTitle("");
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setFixedSize(twips(8535), twips(3480));
    Frame1->setGeometry(twipsRect(120, 60, 8295, 3300));

    QFont title = DAta->font();
    title.setPointSize(28);
    title.setBold(true);
    DAta->setFont(title);
    DAta->setAlignment(Qt::AlignCenter);
    DAta->setGeometry(twipsRect(240, 600, 7800, 1000));
    QFont sub = lblVersion->font();
    sub.setPointSize(14);
    lblVersion->setFont(sub);
    lblVersion->setAlignment(Qt::AlignCenter);
    lblVersion->setGeometry(twipsRect(240, 1800, 7800, 600));
}

void frmSplash::Form_Load() {
    gsContactFooter = BuildContactFooter();
    move((TheToolkit().screenWidth() - width()) / 2, (TheToolkit().screenHeight() - height()) / 2);
    Timer1->setSingleShot(true);
    Timer1->setInterval(1500);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    Timer1->start();
}

void frmSplash::Timer1_Timer() {
    try {
        Timer1->stop();
        frmSplashSlot.unload();
        if (gDatabaseOpen)
            frmTaviDatabaseSlot.get().show();
    } catch (...) {
        // The hand-over is best effort: a failure here ends the tick quietly.
    }
}

} // namespace korvalt
