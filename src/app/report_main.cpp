#include "app/ConsoleProgram.h"
#include "app/ReportCli.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
    korvalt::prepareConsoleProgram();
#ifdef _WIN32
    // The CSV lines end in CR LF already; text mode would double the CR.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return korvalt::ReportCli::run(args, std::cout, std::cerr);
}
