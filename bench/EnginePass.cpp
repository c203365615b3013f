#include "EnginePass.h"

#include "AccessBench.h"

#include "database/access/MdbImport.h"

#include <malloc.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <stdexcept>

extern char** environ;

namespace korvalt::bench {

namespace {

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql);
    return Statement(raw);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// One ORDER BY term with NOCASE before its direction.
std::string nocaseTerm(const std::string& term) {
    for (const char* direction : {" ASC", " DESC", " asc", " desc"}) {
        if (endsWith(term, direction))
            return term.substr(0, term.size() - std::string(direction).size()) + " COLLATE NOCASE" +
                   direction;
    }
    return term + " COLLATE NOCASE";
}

} // namespace

void EnginePass::Close::operator()(sqlite3* db) const {
    sqlite3_close(db);
}

EnginePass::EnginePass(const std::string& path) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    m_db.reset(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot open " + path + ": " + sqlite3_errmsg(raw));
}

EnginePass::~EnginePass() = default;

PassResult EnginePass::run(const std::string& sql) const {
    PassResult result;
    const auto start = std::chrono::steady_clock::now();
    const Statement statement = prepare(m_db.get(), sql);
    const int columns = sqlite3_column_count(statement.get());
    // Every cell is read as text, as a list or a file needs it.
    std::size_t bytes = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        ++result.rows;
        if (sqlite3_column_type(statement.get(), 0) == SQLITE_NULL)
            ++result.nullFirst;
        for (int column = 0; column < columns; ++column) {
            if (sqlite3_column_text(statement.get(), column) != nullptr)
                bytes += static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), column));
        }
    }
    if (rc != SQLITE_DONE)
        throw std::runtime_error(std::string(sqlite3_errmsg(m_db.get())) + " in: " + sql);
    result.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    result.textBytes = static_cast<long long>(bytes);
    return result;
}

std::vector<std::string> EnginePass::indexes() const {
    std::vector<std::string> found;
    const Statement statement =
        prepare(m_db.get(), "SELECT name, ifnull(sql, '') FROM sqlite_master WHERE type = 'index' "
                            "ORDER BY name");
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        found.push_back(
            std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))) +
            ": " + reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 1)));
    }
    return found;
}

std::string withNocase(const std::string& jetSql) {
    std::string sql = jetSql;
    const std::string distinct = "SELECT DISTINCT ";
    if (sql.rfind(distinct, 0) == 0) {
        const auto from = sql.find(" FROM ");
        if (from != std::string::npos)
            sql.insert(from, " COLLATE NOCASE");
    }
    const std::string orderBy = " ORDER BY ";
    const auto order = sql.find(orderBy);
    if (order == std::string::npos)
        return sql;
    std::string rewritten = sql.substr(0, order + orderBy.size());
    std::string terms = sql.substr(order + orderBy.size()) + ",";
    bool first = true;
    for (auto comma = terms.find(','); comma != std::string::npos; comma = terms.find(',')) {
        rewritten += (first ? "" : ", ") + nocaseTerm(trimmed(terms.substr(0, comma)));
        terms.erase(0, comma + 1);
        first = false;
    }
    return rewritten;
}

void copyAccessToSqlite(const std::string& mdbPath, const std::string& sqlitePath) {
    sqlite3* raw = nullptr;
    sqlite3_open(":memory:", &raw);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
    MdbImport::importInto(mdbPath, db.get());
    std::remove(sqlitePath.c_str());
    char* quoted = sqlite3_mprintf("VACUUM INTO %Q", sqlitePath.c_str());
    const std::unique_ptr<char, decltype(&sqlite3_free)> vacuum(quoted, &sqlite3_free);
    if (sqlite3_exec(db.get(), vacuum.get(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("VACUUM INTO failed: ") + sqlite3_errmsg(db.get()));
}

namespace {

ChildResult spawnAndWait(const std::vector<std::string>& argv, const std::string& stdinPath,
                         const std::string& stdoutPath) {
    ChildResult result;
    std::vector<std::string> copies(argv);
    std::vector<char*> args;
    for (std::string& arg : copies)
        args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdinPath.empty())
        posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
    if (!stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int rc = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return result;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return result;
    result.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0; // KiB on Linux
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t done = ::write(fd, bytes, size);
        if (done <= 0)
            return false;
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t done = ::read(fd, bytes, size);
        if (done <= 0)
            return false;
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool writeStrings(int fd, const std::vector<std::string>& strings) {
    const auto count = static_cast<std::uint32_t>(strings.size());
    bool ok = writeAll(fd, &count, sizeof count);
    for (const std::string& text : strings) {
        const auto size = static_cast<std::uint32_t>(text.size());
        ok = ok && writeAll(fd, &size, sizeof size) && writeAll(fd, text.data(), text.size());
    }
    return ok;
}

std::optional<std::vector<std::string>> readStrings(int fd) {
    std::uint32_t count = 0;
    if (!readAll(fd, &count, sizeof count))
        return std::nullopt;
    std::vector<std::string> strings(count);
    for (std::string& text : strings) {
        std::uint32_t size = 0;
        if (!readAll(fd, &size, sizeof size))
            return std::nullopt;
        text.resize(size);
        if (!readAll(fd, text.data(), size))
            return std::nullopt;
    }
    return strings;
}

// The helper's life: one child per request, until the benchmark hangs up.
[[noreturn]] void serve(int requests, int answers) {
    while (const auto strings = readStrings(requests)) {
        ChildResult result;
        if (strings->size() > 2)
            result =
                spawnAndWait({strings->begin() + 2, strings->end()}, (*strings)[0], (*strings)[1]);
        if (!writeAll(answers, &result, sizeof result))
            break;
    }
    _exit(0);
}

} // namespace

ChildRunner::ChildRunner() {
    int requests[2];
    int answers[2];
    if (pipe(requests) != 0)
        return;
    if (pipe(answers) != 0) {
        close(requests[0]);
        close(requests[1]);
        return;
    }
    m_helper = fork();
    if (m_helper == 0) {
        close(requests[1]);
        close(answers[0]);
        serve(requests[0], answers[1]);
    }
    close(requests[0]);
    close(answers[1]);
    m_requests = requests[1];
    m_answers = answers[0];
    if (m_helper < 0) {
        close(m_requests);
        close(m_answers);
        m_requests = m_answers = -1;
    }
}

ChildRunner::~ChildRunner() {
    if (m_helper <= 0)
        return;
    close(m_requests);
    close(m_answers);
    waitpid(m_helper, nullptr, 0);
}

ChildResult ChildRunner::run(const std::vector<std::string>& argv, const std::string& stdinPath,
                             const std::string& stdoutPath) {
    if (m_helper <= 0)
        return spawnAndWait(argv, stdinPath, stdoutPath);
    std::vector<std::string> request{stdinPath, stdoutPath};
    request.insert(request.end(), argv.begin(), argv.end());
    ChildResult result;
    if (!writeStrings(m_requests, request) || !readAll(m_answers, &result, sizeof result))
        return ChildResult{};
    return result;
}

long long residentKiB(const char* field) {
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    const std::string wanted = std::string(field) + ":";
    std::string name;
    while (status >> name) {
        if (name == wanted) {
            long long kib = -1;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

long long linesOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return -1;
    long long lines = 0;
    char buffer[1 << 16];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        const auto got = static_cast<std::size_t>(file.gcount());
        for (std::size_t i = 0; i < got; ++i)
            lines += buffer[i] == '\n' ? 1 : 0;
    }
    return lines;
}

void StatementLog::start() {
    m_seen.clear();
    m_on = true;
    sqlite3_trace_v2(m_db, SQLITE_TRACE_STMT, &StatementLog::onTrace, this);
}

void StatementLog::stop() {
    if (m_on)
        sqlite3_trace_v2(m_db, 0, nullptr, nullptr);
    m_on = false;
}

int StatementLog::onTrace(unsigned type, void* context, void*, void* text) {
    if (type == SQLITE_TRACE_STMT && text != nullptr) {
        const std::string sql(static_cast<const char*>(text));
        // Statements run by triggers are reported as comments; they are not ours.
        if (sql.rfind("--", 0) != 0)
            ++static_cast<StatementLog*>(context)->m_seen[sql];
    }
    return 0;
}

std::string Timing::note() const {
    std::string text = "runs " + std::to_string(each.size()) + ":";
    for (const double run : each)
        text += " " + std::to_string(static_cast<long long>(run));
    return text;
}

Timing repeat(int runs, const std::function<void(int run)>& work) {
    Timing timing;
    for (int run = 0; run < runs; ++run) {
        timing.each.push_back(millisecondsOf([&] { work(run); }));
        if (run == 0)
            runs = std::clamp(static_cast<int>(kStepBudgetMs / std::max(timing.each[0], 1.0)), 1,
                              runs);
    }
    timing.ms = median(timing.each);
    return timing;
}

void Report::problem(const std::string& text) {
    std::printf("!!! %s\n", text.c_str());
    std::fflush(stdout);
    m_problems.push_back(text);
}

void Report::check(const std::string& what, long long ours, long long anchor) {
    if (ours != anchor)
        problem("ROW COUNT MISMATCH " + what + ": ours " + std::to_string(ours) + ", anchor " +
                std::to_string(anchor));
}

void Report::print(const std::string& title) const {
    std::printf("\n== %s\n%-46s %11s %11s %6s %7s %5s  %s\n", title.c_str(), "step", "ours",
                "anchor", "ratio", "target", "", "notes");
    for (const Line& l : m_lines) {
        const double ratio = l.anchor > 0 ? l.ours / l.anchor : 0;
        std::printf("%-46s %7.1f %-3s ", l.step.c_str(), l.ours, l.unit);
        if (l.anchor > 0)
            std::printf("%7.1f %-3s %6.2f ", l.anchor, l.unit, ratio);
        else
            std::printf("%7s %-3s %6s ", "-", "", "-");
        if (l.target > 0)
            std::printf("<=%5.2f %-5s", l.target, ratio <= l.target ? "ok" : "MISS");
        else
            std::printf("%7s %-5s", "-", "");
        std::printf("  %s\n", l.note.c_str());
    }
    for (const std::string& text : m_problems)
        std::printf("!!! %s\n", text.c_str());
    std::fflush(stdout);
}

} // namespace korvalt::bench
