#include "app/ReportCli.h"

#include "app/ConsoleSession.h"
#include "app/OptionReader.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "results/ReportCatalog.h"
#include "results/clsDataHandler.h"
#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "ui/ConsoleToolkit.h"
#include "ui/CsvExport.h"
#include "ui/ResultLayouts.h"
#include "ui/ResultsListView.h"

#include <array>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace korvalt {

namespace {
constexpr const char* kProgram = "korvalt-report";

struct FilterOption {
    const char* name;
    std::string FilterTexts::*text;
};

// In the order of the window's lists.
constexpr std::array<FilterOption, 8> kFilterOptions = {{
    {"--tag", &FilterTexts::tag},
    {"--part-code", &FilterTexts::partCode},
    {"--drawing", &FilterTexts::drawing},
    {"--spec", &FilterTexts::spec},
    {"--size", &FilterTexts::size},
    {"--long", &FilterTexts::longDesc},
    {"--line", &FilterTexts::line},
    {"--short", &FilterTexts::shortDesc},
}};

// The window's command behind each report, for the help.
constexpr std::array<std::pair<const char*, const char*>, 6> kCommands = {{
    {"search", "Search"},
    {"require-line", "These Items Require a Line Number"},
    {"require-tag", "These Items Require a Tag"},
    {"unique-lines", "List Unique Line Numbers"},
    {"duplicate-tags", "Find Duplicate Tags"},
    {"model-files", "List All Model Files (whole database; filters do not apply)"},
}};

[[noreturn]] void usageError(const std::string& message) {
    throw std::invalid_argument(message);
}

bool anyFilterSet(const FilterTexts& filters) {
    const FilterTexts none;
    for (const FilterOption& option : kFilterOptions) {
        if (filters.*option.text != none.*option.text)
            return true;
    }
    return false;
}

int parseColumn(const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        usageError("--sort takes a column number from 1, not '" + text + "'");
    return std::stoi(text);
}

void writeError(std::ostream& err, const ErrorInfo& error) {
    writeEngineError(err, kProgram, error);
}

// The gateway answers a missing table with the location window and keeps
// the engine's words to itself; asking the engine once more (a read that
// fails) recovers them for the console.
ErrorInfo tableError(const std::string& sql) {
    try {
        if (gDatabase)
            gDatabase->openRecordset(sql);
    } catch (...) {
        return ErrorReport::current();
    }
    return {3078, "The database engine cannot find the input table or query 'Pipe'."};
}
} // namespace

std::string ReportCli::helpText() {
    std::string text =
        "Usage: korvalt-report --database PATH --report NAME [FILTERS]\n"
        "                      [--sort COLUMN [--descending]] --output FILE|-\n"
        "       korvalt-report --report NAME [FILTERS] --print-sql\n"
        "       korvalt-report --help\n"
        "\n"
        "Runs one report of Korvalt on a pipe database (an Access .mdb file or a\n"
        "Korvalt SQLite file) and writes the CSV file that \"Export Results\" writes\n"
        "after the same command in the window: the title, a line holding one empty\n"
        "field, the heading line and one line per row, every field in double quotes,\n"
        "every line ended by CR LF. The database is only read; no window is shown.\n"
        "A report that finds nothing still writes its title and headings.\n"
        "\n"
        "Reports (NAME) and the window's command each one runs:\n";
    for (const auto& [name, command] : kCommands) {
        std::string padded = name;
        padded.resize(16, ' ');
        text += "  " + padded + command + "\n";
    }
    text += "\n"
            "Filters take the text a user would type in the matching list; an absent\n"
            "filter means \"All\". A '*' in any filter but --size compares every filter\n"
            "as a pattern (LIKE) instead of exactly. Values go into the statement as\n"
            "typed, so an apostrophe makes it malformed, as in the window.\n"
            "  --tag TEXT  --part-code TEXT  --drawing TEXT  --spec TEXT\n"
            "  --size TEXT  --long TEXT  --line TEXT  --short TEXT\n"
            "\n"
            "Options:\n"
            "  --database PATH  the database file to read\n"
            "  --report NAME    the report to run\n"
            "  --sort COLUMN    sort the rows by that column (1 = first), as a click on\n"
            "                   its heading in the window does: ascending, by text\n"
            "  --descending     with --sort: descending\n"
            "  --output FILE|-  the file to write (replaced if it exists), or - for\n"
            "                   standard output\n"
            "  --print-sql      print the statement the report sends. Without --output\n"
            "                   that is all it does (no database is needed); with\n"
            "                   --output the statement goes to standard error and the\n"
            "                   report runs\n"
            "  --help           show this text\n"
            "Every option also takes its value as --option=VALUE.\n"
            "\n"
            "Exit status: 0 done; 1 the database or the report failed, with the\n"
            "engine's error number and description on standard error; 2 wrong command\n"
            "line. After an error met on the way (a duplicate check whose statement a\n"
            "tag makes malformed) the rows found are still written; when the report\n"
            "found no rows because of an error, nothing is written.\n"
            "\n"
            "Example:\n"
            "  korvalt-report --database plant.mdb --report duplicate-tags \\\n"
            "      --drawing 'AREA1*' --sort 2 --output duplicates.csv\n";
    return text;
}

ReportCli::Options ReportCli::parse(const std::vector<std::string>& args) {
    Options options;
    std::optional<std::string> report;
    std::optional<std::string> database;
    std::optional<std::string> sort;
    OptionReader reader(args);
    while (reader.next()) {
        const std::string& name = reader.name();
        if (name == "--help" || name == "-h") {
            reader.noValue();
            options.help = true;
        } else if (name == "--print-sql") {
            reader.noValue();
            options.printSql = true;
        } else if (name == "--descending") {
            reader.noValue();
            options.descending = true;
        } else if (name == "--database") {
            database = reader.value();
        } else if (name == "--report") {
            report = reader.value();
        } else if (name == "--sort") {
            sort = reader.value();
        } else if (name == "--output") {
            options.output = reader.value();
        } else {
            bool known = false;
            for (const FilterOption& option : kFilterOptions) {
                if (name == option.name) {
                    options.filters.*option.text = reader.value();
                    known = true;
                }
            }
            if (!known)
                reader.unknown();
        }
    }
    if (options.help)
        return options;

    if (!report)
        usageError("--report is required");
    options.report = ReportCatalog::find(*report);
    if (!options.report) {
        std::string names;
        for (const ReportSpec& known : ReportCatalog::all())
            names += std::string(names.empty() ? "" : ", ") + known.name;
        usageError("unknown report '" + *report + "' (one of " + names + ")");
    }
    if (sort) {
        options.sortColumn = parseColumn(*sort);
        const auto columns = ResultLayouts::columns(options.report->layout).size();
        if (options.sortColumn < 1 || static_cast<std::size_t>(options.sortColumn) > columns)
            usageError("--sort " + *sort + ": the " + options.report->name + " report has " +
                       std::to_string(columns) + (columns == 1 ? " column" : " columns"));
    } else if (options.descending) {
        usageError("--descending needs --sort");
    }
    if (options.printSql && !options.output)
        return options;
    if (!database)
        usageError("--database is required");
    if (!options.output)
        usageError("--output is required (a file name, or - for standard output)");
    if (options.output->empty())
        usageError("--output needs a file name, or - for standard output");
    options.database = *database;
    return options;
}

std::string ReportCli::statement(const ReportSpec& report, const FilterTexts& filters) {
    if (!report.filtered)
        return report.baseStatement;
    return QueryBuilder::build(report.baseStatement, filters, QueryBuilder::isExactSearch(filters));
}

int ReportCli::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    try {
        options = parse(args);
    } catch (const std::invalid_argument& e) {
        err << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
        return kUsage;
    }
    if (options.help) {
        out << helpText();
        return kSuccess;
    }
    const std::string sql = statement(*options.report, options.filters);
    if (options.printSql && !options.output) {
        out << sql << '\n';
        return kSuccess;
    }
    if (options.printSql)
        err << sql << '\n';
    if (!options.report->filtered && anyFilterSet(options.filters))
        err << kProgram << ": the " << options.report->name
            << " report lists the whole database; the filters are ignored\n";

    // The run uses the process-wide database and gateway variables, as the
    // window does; whatever they held before comes back afterwards.
    const ConsoleSession session;
    return runReport(options, out, err);
}

int ReportCli::runReport(const Options& options, std::ostream& out, std::ostream& err) {
    ConsoleToolkit console(err);
    SetToolkit(&console);
    int code = kFailure;
    try {
        ConsoleSession::open(options.database);

        const ReportSpec& report = *options.report;
        ResultsListView list;
        ResultLayouts::apply(list, report.layout);
        std::string sql = statement(report, options.filters);
        std::int16_t mode = report.mode;
        clsDataHandler(list).SendToDatabase(sql, mode);

        if (!gTableFound || console.windowRequested()) {
            writeError(err, tableError(sql));
        } else {
            // A click on the header after the list is filled: the same
            // three settings the window's column click makes.
            if (options.sortColumn > 0) {
                list.setSortOrder(options.descending ? 1 : 0);
                list.setSortKey(options.sortColumn - 1);
                list.setSorted(true);
            }
            // After an error that left the list empty (the report's own
            // statement rejected) there is nothing worth writing; rows found
            // despite an error on the way are written, as Export would.
            if (!console.errorReported() || list.count() > 0) {
                if (*options.output == "-")
                    CsvExport::writeList(out, report.title, report.layout, list);
                else
                    CsvExport::writeList(*options.output, report.title, report.layout, list);
            }
            code = console.errorReported() ? kFailure : kSuccess;
        }
    } catch (...) {
        writeError(err, ErrorReport::current());
        code = kFailure;
    }
    gDatabaseControl.reset();
    gDatabase.reset();
    SetToolkit(nullptr);
    return code;
}

} // namespace korvalt
