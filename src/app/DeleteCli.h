#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace korvalt {

// korvalt-delete: deletes every record of one model file (drawing) without
// a window, as "Delete Records" in the main window does after "List All
// Model Files": the same statement goes through the same gateway, which
// asks the same question (answered on the terminal, or by --yes).
class DeleteCli {
public:
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1; // refused, cancelled or failed
    static constexpr int kUsage = 2;   // the command line was wrong

    struct Options {
        std::string database;
        std::string drawing;
        bool yes = false;
        bool help = false;
    };

    // `args` are the arguments after the program's name; the answer to the
    // question is read from `in`. Installs its own toolkit for the run and
    // leaves none installed afterwards; the open database and the gateway
    // variables are put back as they were. The gateway reads the model
    // file's name from the main window, so one is loaded (never shown) for
    // the run and unloaded afterwards; a main window already loaded is used
    // instead, and its lists then show the command's database.
    static int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);

    // Throws std::invalid_argument with a message for the user.
    static Options parse(const std::vector<std::string>& args);
    // Selects the records the window's delete statement removes: the same
    // comparison with the same quoting.
    static std::string countStatement(const std::string& drawing);
    static std::string helpText();

private:
    static int runDelete(const Options& options, std::istream& in, std::ostream& out,
                         std::ostream& err);
};

} // namespace korvalt
