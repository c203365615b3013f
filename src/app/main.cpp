#include "startup/Module1.h"
#include "ui/QtToolkit.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    korvalt::QtToolkit toolkit;
    korvalt::SetToolkit(&toolkit);
    korvalt::Main();
    // Start-up may already have ended the program (no database, or a new
    // address recorded); then no event loop is entered.
    const int code = toolkit.programEnded() ? 0 : app.exec();
    korvalt::ResetProcessState();
    korvalt::SetToolkit(nullptr);
    return code;
}
