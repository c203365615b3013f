#include "app/ReportCli.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

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
    // The results list is a widget that is never shown; no display is
    // needed unless the caller chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef _WIN32
    // The CSV lines end in CR LF already; text mode would double the CR.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return korvalt::ReportCli::run(args, std::cout, std::cerr);
}
