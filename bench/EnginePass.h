#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

// The anchors of the million-record benchmark (the engine's own pass over a
// statement, other programs run as children), the memory figures, and how
// a step is timed and put in the table against its anchor.

namespace korvalt::bench {

// What one pass over a statement saw.
struct PassResult {
    double ms = 0;
    long long rows = 0;
    long long nullFirst = 0; // rows whose first column is Null
    long long textBytes = 0; // of every cell read as text
};

// The anchor of the million-record benchmark: SQLite's own C API running a
// statement on a file, stepping through every row and reading every column
// as text, with nothing of ours in between (no collation, no LIKE, no
// translation). The file is opened read-only.
class EnginePass {
public:
    explicit EnginePass(const std::string& path);
    ~EnginePass();
    EnginePass(const EnginePass&) = delete;
    EnginePass& operator=(const EnginePass&) = delete;

    // Throws std::runtime_error when SQLite rejects the statement.
    PassResult run(const std::string& sql) const;
    // The indexes of the file, as "name: sql", to tell whether a run changed it.
    std::vector<std::string> indexes() const;

private:
    struct Close {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, Close> m_db;
};

// A Jet statement of the program rewritten for the engine's pass: SQLite's
// built-in NOCASE on the DISTINCT column and on every ORDER BY term, the rest
// unchanged. Covers the shapes the benchmark runs (one DISTINCT column; ORDER
// BY terms of a column and ASC/DESC).
std::string withNocase(const std::string& jetSql);

// An SQLite file with the content of an Access file's tables, written through
// the same importer that fills the program's in-memory copy of it (so the
// anchor reads exactly the rows and types the program reads), then saved
// with VACUUM INTO.
void copyAccessToSqlite(const std::string& mdbPath, const std::string& sqlitePath);

// A child process run to its end: wall time, peak resident memory (the
// child's own ru_maxrss from wait4) and its exit status (-1 when it could not
// be started or did not exit normally).
struct ChildResult {
    double ms = 0;
    double peakMiB = 0;
    int status = -1;
};
// Runs programs as child processes. Create it first thing in main: it forks
// a small helper that starts every child, because Linux counts the memory of
// the process a child was forked from in the child's peak (ru_maxrss survives
// exec), so a child of the benchmark holding a million rows would report the
// benchmark's size instead of its own.
class ChildRunner {
public:
    ChildRunner();
    ~ChildRunner();
    ChildRunner(const ChildRunner&) = delete;
    ChildRunner& operator=(const ChildRunner&) = delete;

    // Runs argv[0] (looked up on PATH) with standard input from `stdinPath`
    // and standard output to `stdoutPath` ("" leaves either as it is).
    ChildResult run(const std::vector<std::string>& argv, const std::string& stdinPath,
                    const std::string& stdoutPath);

private:
    int m_helper = -1; // its process id; not above 0 when it could not be made
    int m_requests = -1;
    int m_answers = -1;
};

// A field of /proc/self/status in KiB ("VmRSS", "RssAnon"), after giving freed
// heap memory back to the system; -1 when unreadable.
long long residentKiB(const char* field);

// Lines ('\n') of a file; -1 when it cannot be read.
long long linesOf(const std::string& path);

// The statements SQLite runs on a connection while recording, with how often
// each ran (SQLite's own trace, so the text is the one the engine receives,
// after our dialect's translation).
class StatementLog {
public:
    explicit StatementLog(sqlite3* db) : m_db(db) {}
    ~StatementLog() { stop(); }
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;

    void start(); // forgets what was recorded before
    void stop();
    const std::map<std::string, int>& seen() const { return m_seen; }

private:
    static int onTrace(unsigned type, void* context, void* statement, void* text);

    sqlite3* m_db;
    bool m_on = false;
    std::map<std::string, int> m_seen;
};

// How a step is timed and shown against its anchor.

// Wall time one side of a step may take; a slower side runs fewer times, so
// that a million records stay within about three minutes.
constexpr double kStepBudgetMs = 15000;

// The median of a step's runs, and every run.
struct Timing {
    double ms = 0;
    std::vector<double> each;
    std::string note() const; // "runs 3: 812 790 801"
};
// Runs `work` up to `runs` times, fewer when the first run shows that the
// step would take more than its share of the run's time.
Timing repeat(int runs, const std::function<void(int run)>& work);

// One line of the table: our figure, the anchor's (0: none) and the largest
// ratio the target allows (0: none).
struct Line {
    std::string step;
    double ours = 0;
    double anchor = 0;
    double target = 0;
    const char* unit = "ms";
    std::string note;
};

class Report {
public:
    void add(Line line) { m_lines.push_back(std::move(line)); }
    // Something that does not agree (row counts, a failing program): printed
    // at once and again under the table.
    void problem(const std::string& text);
    void check(const std::string& what, long long ours, long long anchor);
    void print(const std::string& title) const;

private:
    std::vector<Line> m_lines;
    std::vector<std::string> m_problems;
};

} // namespace korvalt::bench
