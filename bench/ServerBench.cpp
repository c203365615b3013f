// The window on a million records on a PostgreSQL server, against psql
// running the same translated statements on the same server in the same run:
// Search with every list at "All" (the target), and for information the eight
// lists, Find Duplicate Tags and korvalt-report. Our side and psql's take
// turns, so that a busy moment of the shared machine falls on both.
//
// Not part of the test suite; run
//   build/bin/korvalt_server_bench [records=1000000] [runs=3]
// It starts a throwaway cluster of its own (scripts/test-server), or uses the
// server of KORVALT_BENCH_PG (an ODBC connection string with SERVER, PORT,
// DATABASE and UID, which psql is given too), where it replaces the Pipe table.

#include "AccessBench.h"
#include "BenchToolkit.h"
#include "EnginePass.h"
#include "ServerLoader.h"
#include "SyntheticPipe.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "database/odbc/OdbcDatabase.h"
#include "database/odbc/OdbcPacked.h"
#include "database/odbc/ServerSql.h"
#include "query/QueryBuilder.h"
#include "results/ReportCatalog.h"
#include "startup/Module1.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvalt::bench {
namespace {

std::string reportStatement(const char* report) {
    return QueryBuilder::build(ReportCatalog::get(report).baseStatement, FilterTexts{}, true);
}

std::vector<std::string> listStatements() {
    std::vector<std::string> out;
    for (const char* column : {"DWG_NAME", "SPEC_FILE", "SHORT_DESC", "LONG_DESC", "TAG", "DB_CODE",
                               "LINE_NUM", "ALPHA_SIZE"})
        out.push_back(std::string("SELECT DISTINCT ") + column + " FROM PIPE ORDER BY " + column +
                      " ASC");
    return out;
}

// KEY=value pairs of a plain connection string (no braces needed here).
std::map<std::string, std::string> attributesOf(const std::string& connection) {
    std::map<std::string, std::string> out;
    std::size_t at = 0;
    while (at < connection.size()) {
        std::size_t end = connection.find(';', at);
        if (end == std::string::npos)
            end = connection.size();
        const std::string part = connection.substr(at, end - at);
        const std::size_t equals = part.find('=');
        if (equals != std::string::npos) {
            std::string key = part.substr(0, equals);
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            out[key] = part.substr(equals + 1);
        }
        at = end + 1;
    }
    return out;
}

// The server of the run: our own cluster unless one is given.
class Server {
public:
    explicit Server(const std::string& folder) {
        if (const char* given = std::getenv("KORVALT_BENCH_PG")) {
            m_connection = given;
            return;
        }
        m_folder = folder;
        const std::string command =
            std::string(KORVALT_TEST_SERVER_SCRIPT) + " start '" + folder + "'";
        FILE* pipe = popen(command.c_str(), "r");
        std::array<char, 512> line{};
        if (pipe != nullptr && std::fgets(line.data(), line.size(), pipe) != nullptr)
            m_connection = line.data();
        if (pipe == nullptr || pclose(pipe) != 0 || m_connection.empty())
            throw std::runtime_error("could not start a PostgreSQL cluster with " + command);
        while (!m_connection.empty() && m_connection.back() == '\n')
            m_connection.pop_back();
    }
    ~Server() {
        if (!m_folder.empty())
            (void)std::system(
                (std::string(KORVALT_TEST_SERVER_SCRIPT) + " stop '" + m_folder + "'").c_str());
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    const std::string& connection() const { return m_connection; }

    // psql on the same server, reading `script`, printing rows unaligned
    // without headings to `output`.
    std::vector<std::string> psql(const std::string& script) const {
        const auto a = attributesOf(m_connection);
        const auto value = [&](const char* key, const char* otherwise) {
            const auto found = a.find(key);
            return found == a.end() ? std::string(otherwise) : found->second;
        };
        return {"psql",
                "-X",
                "-q",
                "-A",
                "-t",
                "-h",
                value("SERVER", "localhost"),
                "-p",
                value("PORT", "5432"),
                "-U",
                value("UID", "postgres"),
                "-d",
                value("DATABASE", "postgres"),
                "-f",
                script};
    }

private:
    std::string m_folder;
    std::string m_connection;
};

struct Sides {
    std::vector<double> ours;
    std::vector<double> anchor;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::string runs(const Sides& s) {
    std::string out = "ours";
    for (const double ms : s.ours)
        out += " " + std::to_string(static_cast<long long>(ms));
    out += ", psql";
    for (const double ms : s.anchor)
        out += " " + std::to_string(static_cast<long long>(ms));
    return out;
}

void measure(const Server& server, int runs_, const std::string& dir, BenchToolkit& toolkit,
             ChildRunner& children) {
    Report report;
    prepareProcess(server.connection());
    gDatabase = OpenDatabase(server.connection());
    gDatabaseOpen = true;
    const auto* odbc = dynamic_cast<OdbcDatabase*>(gDatabase.get());
    if (odbc == nullptr)
        throw std::runtime_error("the connection string did not open a database server");
    const auto translated = [&](const std::string& jet) {
        return ServerSql::translate(jet, odbc->schema(), odbc->dialect()) + ";\n";
    };
    const auto script = [&](const std::string& name, const std::vector<std::string>& jet) {
        const std::string path = dir + "/" + name + ".sql";
        std::ofstream out(path);
        for (const std::string& statement : jet)
            out << translated(statement);
        return path;
    };
    const std::string searchSql = script("search", {reportStatement("search")});
    // What the program sends for it: the same statement, each record as one
    // text (OdbcPacked.h); shown for comparison, not the target's anchor.
    const std::string packedSql = dir + "/packed.sql";
    std::ofstream(packedSql) << odbc::packedQuery(translated(reportStatement("search"))) << ";\n";
    const std::string listsSql = script("lists", listStatements());
    const std::string duplicatesSql = script("duplicates", {reportStatement("duplicate-tags")});
    std::printf("  search, as the server gets it:\n    %s",
                translated(reportStatement("search")).c_str());

    const auto psql = [&](const std::string& sql, const std::string& output) {
        const ChildResult r = children.run(server.psql(sql), "", output);
        if (r.status != 0)
            report.problem("psql exited with " + std::to_string(r.status) + " on " + sql);
        return r;
    };
    frmTaviDatabase* window = nullptr;
    Sides lists;
    Sides search;
    Sides duplicates;
    std::vector<double> packedAnchor;
    double psqlPeakMiB = 0;
    for (int run = 0; run < runs_; ++run) {
        lists.anchor.push_back(psql(listsSql, "/dev/null").ms);
        lists.ours.push_back(millisecondsOf([&] {
            frmTaviDatabaseSlot.unload();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            window = &frmTaviDatabaseSlot.get();
        }));
        const ChildResult anchor = psql(searchSql, run == 0 ? dir + "/search.txt" : "/dev/null");
        search.anchor.push_back(anchor.ms);
        psqlPeakMiB = std::max(psqlPeakMiB, anchor.peakMiB);
        window->lstvResults->clearItems();
        search.ours.push_back(millisecondsOf([&] { window->cmdSearchAll->click(); }));
        packedAnchor.push_back(psql(packedSql, "/dev/null").ms);
        if (run == 0)
            report.check("Search rows against psql's lines", window->lstvResults->count(),
                         linesOf(dir + "/search.txt"));
        duplicates.anchor.push_back(psql(duplicatesSql, "/dev/null").ms);
        duplicates.ours.push_back(millisecondsOf([&] { window->CmdFindDuplicatetags->click(); }));
        std::printf("  run %d done\n", run + 1);
        std::fflush(stdout);
    }
    const std::string title = window->frmResults->title().toStdString();
    report.add(
        {"window ready (8 lists)", median(lists.ours), median(lists.anchor), 0, "ms", runs(lists)});
    report.add({"Search, every list at All", median(search.ours), median(search.anchor), 1.3, "ms",
                runs(search)});
    report.add({"  the same Search / psql of the packed form", median(search.ours),
                median(packedAnchor), 0, "ms", "each record as one text, as the program asks"});
    report.add({"Find Duplicate Tags", median(duplicates.ours), median(duplicates.anchor), 0, "ms",
                runs(duplicates) + "; \"" + title + "\""});
    // The synthetic data has Null tags and line numbers, which the lists
    // report as on every other database: two messages per window load.
    const int expected = 2 * runs_;
    if (toolkit.messages() != expected)
        report.problem(std::to_string(toolkit.messages()) + " message(s) would have been shown, " +
                       std::to_string(expected) + " expected");

    ResetProcessState();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const ChildResult cli = children.run({KORVALT_REPORT_PROGRAM, "--database", server.connection(),
                                          "--report", "search", "--output", dir + "/report.csv"},
                                         "", "/dev/null");
    if (cli.status != 0)
        report.problem("korvalt-report exited with " + std::to_string(cli.status));
    report.add({"korvalt-report --report search, once", cli.ms, median(search.anchor), 0, "ms",
                "anchor psql"});
    report.add({"  peak memory, korvalt-report / psql", cli.peakMiB, psqlPeakMiB, 0, "MiB",
                "ru_maxrss; psql holds the whole result before printing it"});
    report.print("PostgreSQL server");
}

} // namespace
} // namespace korvalt::bench

int main(int argc, char** argv) {
    using namespace korvalt::bench;
    ChildRunner children; // before the benchmark grows
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
    BenchToolkit toolkit;
    korvalt::SetToolkit(&toolkit);
    try {
        QTemporaryDir dir;
        QTemporaryDir serverDir;
        const std::string folder = dir.path().toStdString();
        const Server server(serverDir.path().toStdString());
        std::printf("korvalt_server_bench records=%d runs=%d\n", records, runs);
        const std::string synthetic = folder + "/synthetic.db";
        std::printf("writing %d synthetic records: %.0f ms\n", records,
                    millisecondsOf([&] { korvalt::SyntheticPipe::write(synthetic, records); }));
        std::printf("loading them into the server: %.0f ms\n", millisecondsOf([&] {
                        const auto source = korvalt::OpenDatabase(synthetic);
                        korvalt::ServerLoadOptions options;
                        options.replace = true;
                        korvalt::loadIntoServer(*source, server.connection(), options);
                    }));
        std::fflush(stdout);
        measure(server, runs, folder, toolkit, children);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvalt_server_bench: %s\n", e.what());
        korvalt::SetToolkit(nullptr);
        return 1;
    }
    korvalt::SetToolkit(nullptr);
    return 0;
}
