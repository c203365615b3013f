#include "app/DeleteCli.h"

#include "app/ConsoleSession.h"
#include "app/OptionReader.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "query/clsComboHandler.h"
#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "ui/ConsoleToolkit.h"
#include "ui/frmTaviDatabase.h"

#include <istream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace korvalt {

namespace {
constexpr const char* kProgram = "korvalt-delete";
constexpr const char* kNothingDeleted = "Nothing was deleted.";
// The routine the gateway names when the delete statement fails.
constexpr const char* kDeleteRoutine = "DeleteRecord ";

// The platform services for the command: the gateway's question is put on
// the terminal (or answered yes at once) and everything else it reports is
// kept for the command to sort out, since the window's lists, refilled
// around the delete, report things (a Null value in a list) that are no
// concern of the delete.
class TerminalToolkit : public ConsoleToolkit {
public:
    TerminalToolkit(std::istream& in, std::ostream& err, bool yes)
        : ConsoleToolkit(err), m_in(in), m_err(err), m_yes(yes) {}

    MsgAnswer msgBox(const std::string& text, const std::string&, MsgButtons buttons,
                     MsgIcon icon) override {
        if (buttons == MsgButtons::OkCancel) {
            m_asked = true;
            m_confirmed = m_yes || ask(text);
            return m_confirmed ? MsgAnswer::Ok : MsgAnswer::Cancel;
        }
        if (icon == MsgIcon::Critical)
            m_errors.push_back(text);
        return MsgAnswer::Ok;
    }

    bool asked() const { return m_asked; }
    bool confirmed() const { return m_confirmed; }
    // Critical messages since the question was answered, as shown.
    const std::vector<std::string>& errors() const { return m_errors; }
    void forgetErrors() { m_errors.clear(); }

private:
    bool ask(const std::string& question) {
        m_err << consoleText(question) << "? [y/N] " << std::flush;
        std::string line;
        if (!std::getline(m_in, line)) {
            m_err << '\n';
            return false;
        }
        const auto first = line.find_first_not_of(" \t\r");
        const auto last = line.find_last_not_of(" \t\r");
        std::string answer =
            first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
        for (char& c : answer)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return answer == "y" || answer == "yes";
    }

    std::istream& m_in;
    std::ostream& m_err;
    bool m_yes;
    bool m_asked = false;
    bool m_confirmed = false;
    std::vector<std::string> m_errors;
};

[[noreturn]] void usageError(const std::string& message) {
    throw std::invalid_argument(message);
}

void writeError(std::ostream& err, const ErrorInfo& error) {
    writeEngineError(err, kProgram, error);
}

// The engine's number and words inside a message the gateway showed for a
// failed delete, which is ErrorReport's layout followed by the footer.
std::optional<ErrorInfo> deleteError(const std::string& shown) {
    const std::string lead = "Error Number ";
    if (shown.rfind(lead, 0) != 0)
        return std::nullopt;
    const auto digits = shown.find_first_not_of("-0123456789", lead.size());
    if (digits == lead.size() || digits == std::string::npos || digits - lead.size() > 9)
        return std::nullopt;
    const int number = std::stoi(shown.substr(lead.size(), digits - lead.size()));
    const std::string head = ErrorReport::message({number, ""}, kDeleteRoutine);
    if (shown.rfind(head, 0) != 0)
        return std::nullopt;
    std::string description = shown.substr(head.size());
    if (!gsSupportFooter.empty() && description.size() >= gsSupportFooter.size() &&
        description.compare(description.size() - gsSupportFooter.size(), std::string::npos,
                            gsSupportFooter) == 0)
        description.resize(description.size() - gsSupportFooter.size());
    return ErrorInfo{number, description};
}

struct Found {
    long count = 0;
    // The name as the records spell it (the comparison ignores case).
    std::string spelling;
};

Found countRecords(const std::string& drawing) {
    Found found{0, drawing};
    auto records = gDatabase->openRecordset(DeleteCli::countStatement(drawing));
    for (; !records->isEof(); records->moveNext()) {
        if (found.count++ == 0 && records->fields("DWG_NAME").isText())
            found.spelling = records->fields("DWG_NAME").asText();
    }
    records->close();
    return found;
}

std::string recordsText(long count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}
} // namespace

std::string DeleteCli::helpText() {
    return "Usage: korvalt-delete --database PATH --drawing NAME [--yes]\n"
           "       korvalt-delete --help\n"
           "\n"
           "Deletes every record of one model file (drawing) from a pipe database (an\n"
           "Access .mdb file or a Korvalt SQLite file), as \"Delete Model File Record\"\n"
           "does in the window after \"List All Model Files\": the same statement, the\n"
           "same question before it, the same engine. No window is shown.\n"
           "\n"
           "NAME is compared as the window compares it: the whole name, without regard\n"
           "to letter case (area1.DWG deletes the records of AREA1.dwg). It goes into\n"
           "the statement between double quotes, as typed, so a name holding a double\n"
           "quote makes the statement malformed, as in the window.\n"
           "\n"
           "Before deleting, the command asks the window's question on the terminal:\n"
           "  Are you sure you want to delete all Records for NAME from this Database?\n"
           "and deletes only after y or yes; any other answer deletes nothing.\n"
           "\n"
           "Options:\n"
           "  --database PATH  the database file to change\n"
           "  --drawing NAME   the model file whose records are deleted\n"
           "  --yes            delete without asking\n"
           "  --help           show this text\n"
           "Every option also takes its value as --option=VALUE.\n"
           "\n"
           "On success it prints how many records went, for example\n"
           "  Deleted 331 records of AREA1.dwg.\n"
           "\n"
           "In an Access file the changed database is written to a copy beside it and\n"
           "put in its place in one step; the old file is kept as NAME.bak. Nothing is\n"
           "changed while Access has the file open (a .ldb or .laccdb lock file beside\n"
           "it), while the file or its folder is read-only, or when the file changed\n"
           "since it was opened.\n"
           "\n"
           "Exit status: 0 deleted; 1 nothing to delete, cancelled, refused or failed,\n"
           "with the engine's error number and description on standard error (for\n"
           "example \"Error 3045: ...\" while Access has the database open); 2 wrong\n"
           "command line.\n"
           "\n"
           "Example:\n"
           "  korvalt-delete --database plant.mdb --drawing AREA1.dwg\n";
}

DeleteCli::Options DeleteCli::parse(const std::vector<std::string>& args) {
    Options options;
    std::optional<std::string> database;
    std::optional<std::string> drawing;
    OptionReader reader(args);
    while (reader.next()) {
        const std::string& name = reader.name();
        if (name == "--help" || name == "-h" || name == "--yes" || name == "-y") {
            reader.noValue();
            (name == "--yes" || name == "-y" ? options.yes : options.help) = true;
        } else if (name == "--database") {
            database = reader.value();
        } else if (name == "--drawing") {
            drawing = reader.value();
        } else {
            reader.unknown();
        }
    }
    if (options.help)
        return options;
    if (!database)
        usageError("--database is required");
    if (!drawing)
        usageError("--drawing is required");
    if (database->empty())
        usageError("--database needs a file name");
    if (drawing->empty())
        usageError("--drawing needs the model file's name");
    options.database = *database;
    options.drawing = *drawing;
    return options;
}

std::string DeleteCli::countStatement(const std::string& drawing) {
    return "SELECT * FROM pipe WHERE DWG_NAME = \"" + drawing + "\"";
}

int DeleteCli::run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
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

    // The run uses the process-wide database and gateway variables, as the
    // window does; whatever they held before comes back afterwards.
    const ConsoleSession session;
    return runDelete(options, in, out, err);
}

int DeleteCli::runDelete(const Options& options, std::istream& in, std::ostream& out,
                         std::ostream& err) {
    TerminalToolkit terminal(in, err, options.yes);
    SetToolkit(&terminal);
    int code = kFailure;
    try {
        ConsoleSession::open(options.database);

        const Found before = countRecords(options.drawing);
        const std::string shownDatabase = HidePassword(options.database);
        if (before.count == 0) {
            err << kProgram << ": " << shownDatabase << " holds no records of " << options.drawing
                << ". " << kNothingDeleted << '\n';
        } else {
            if (!options.yes)
                err << shownDatabase << " holds " << recordsText(before.count) << " of "
                    << before.spelling << ".\n";
            // The window's own steps: its main window (never shown) carries
            // the model file's name to the gateway's question.
            frmTaviDatabaseSlot.get();
            terminal.forgetErrors();
            std::string drawing = options.drawing;
            clsComboHandler().DeleteRecord(drawing);

            std::optional<ErrorInfo> failure;
            for (const std::string& shown : terminal.errors()) {
                if (!failure)
                    failure = deleteError(shown);
            }
            if (!terminal.confirmed()) {
                err << kNothingDeleted << '\n';
            } else {
                if (failure)
                    writeError(err, *failure);
                const long after = countRecords(options.drawing).count;
                if (!failure && after > 0) {
                    // Told in words this command does not know: passed on as shown.
                    for (const std::string& shown : terminal.errors())
                        err << kProgram << ": " << ConsoleToolkit::consoleText(shown) << '\n';
                }
                const long deleted = before.count - after;
                if (deleted > 0)
                    out << "Deleted " << recordsText(deleted) << " of " << before.spelling << ".\n";
                if (after == before.count)
                    err << kNothingDeleted << '\n';
                else if (after > 0)
                    err << kProgram << ": " << recordsText(after) << " of " << before.spelling
                        << " remain\n";
                code = !failure && after == 0 ? kSuccess : kFailure;
            }
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
