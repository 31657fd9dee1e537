#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "cli/CliCommands.h"

int main(int argc, char** argv) {
    // Past the file size limit a write fails with an error the program reports, instead of
    // the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // Qt's image plugins are found through the application object; no display is needed.
    QCoreApplication application(argc, argv);
    return quarvel::RunCommandLine(arguments, std::cout, std::cerr);
}
