#pragma once

#include "query/QueryBuilder.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace korvalt {

struct ReportSpec;

// korvalt-report: runs one report of the main window without a window and
// writes the file that the window's Export would write for it. It goes
// through the same gateway, result writers, list sort and CSV writer as
// the window, so both always agree.
class ReportCli {
public:
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1; // the database or the report failed
    static constexpr int kUsage = 2;   // the command line was wrong

    struct Options {
        std::string database;
        const ReportSpec* report = nullptr;
        FilterTexts filters;
        int sortColumn = 0; // 1-based, 0 for no sort
        bool descending = false;
        std::optional<std::string> output; // "-" for standard output
        bool printSql = false;
        bool help = false;
    };

    // `args` are the arguments after the program's name. Installs its own
    // toolkit for the run and leaves none installed afterwards; the open
    // database and the gateway variables are put back as they were.
    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

    // Throws std::invalid_argument with a message for the user.
    static Options parse(const std::vector<std::string>& args);
    // The statement the report sends, built from the filters exactly as the
    // window builds it from its lists.
    static std::string statement(const ReportSpec& report, const FilterTexts& filters);
    static std::string helpText();

private:
    static int runReport(const Options& options, std::ostream& out, std::ostream& err);
};

} // namespace korvalt
