#include "app/ConsoleProgram.h"
#include "app/DeleteCli.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    korvalt::prepareConsoleProgram();
    QApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return korvalt::DeleteCli::run(args, std::cin, std::cout, std::cerr);
}
