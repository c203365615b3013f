#pragma once

#include "database/Database.h"
#include "database/clsDatabaseControl.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace korvalt {

struct ErrorInfo;

// "PROGRAM: Error N: description" on the error stream, line ends as the
// console wants them.
void writeEngineError(std::ostream& err, const char* program, const ErrorInfo& error);

// A command-line run on the process-wide database and gateway variables, as
// the window uses them: the constructor keeps what they held, open() puts
// the command's database in place, and the destructor gives the variables
// (and the windows the run loaded) back as they were.
class ConsoleSession {
public:
    ConsoleSession();
    ~ConsoleSession();
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    // Opens the database for the gateway, with the message footers built.
    // Opened directly rather than through the gateway's connect, which
    // answers a wrong address with the location window and no number: the
    // engine's error is raised to the caller instead.
    static void open(const std::string& path);

private:
    std::unique_ptr<Database> m_database;
    std::shared_ptr<clsDatabaseControl> m_control;
    bool m_open;
    bool m_found;
    std::string m_support;
    std::string m_contact;
    bool m_locateLoaded;
    bool m_windowLoaded;
};

} // namespace korvalt
