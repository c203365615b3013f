#include "app/DeleteCli.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

namespace {
// The program speaks for itself on standard error; Qt's own notes about
// the environment (no runtime folder, no display) would only be noise.
void keepSeriousMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::cerr << message.toStdString() << '\n';
}
} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(keepSeriousMessages);
    // The gateway reads the model file's name from the main window, which
    // is loaded but never shown: no display is needed unless the caller
    // chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return korvalt::DeleteCli::run(args, std::cin, std::cout, std::cerr);
}
