#include "support/PgServer.h"

#include "database/Value.h"
#include "database/odbc/OdbcText.h"
#include "support/PipeCsv.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <sql.h>
#include <sqlext.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace korvalt::test_support {

namespace {

const std::string kCsv = std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv";

// Unprivileged owner of the cluster when the tests run as root (the server
// refuses to run as root).
constexpr const char* kServerUser = "nobody";

std::string newestBinaries() {
    namespace fs = std::filesystem;
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        if (fs::exists(entry.path() / "bin" / "initdb", ec) &&
            fs::exists(entry.path() / "bin" / "pg_ctl", ec))
            found.push_back(entry.path() / "bin");
    }
    if (found.empty())
        return {};
    // Version folders are numbers: the longest, then the greatest name.
    std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
        const std::string x = a.parent_path().filename().string();
        const std::string y = b.parent_path().filename().string();
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    return found.back().string();
}

// Runs a program (as the server's user when we are root); the output when
// it fails.
bool runTool(const QString& program, const QStringList& arguments, QString& output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (geteuid() == 0) {
        process.start("runuser", QStringList{"-u", kServerUser, "--", program} + arguments);
    } else {
        process.start(program, arguments);
    }
    const bool finished = process.waitForFinished(120000);
    output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

std::string literal(const Value& v) {
    if (v.isNull())
        return "NULL";
    if (v.isInteger())
        return std::to_string(v.asInteger());
    if (v.isReal()) {
        std::array<char, 32> buffer{};
        std::snprintf(buffer.data(), buffer.size(), "%.17g", v.asReal());
        return buffer.data();
    }
    std::string out = "'";
    for (const char c : v.asText()) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

std::vector<std::string> loadStatements() {
    const std::vector<std::string>& columns = pipeCsvColumns();
    const auto rows = loadPipeCsv(kCsv);
    std::string create = "CREATE TABLE \"Pipe\" (";
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string& name = columns[c];
        const char* type =
            name == "UNIQUE_ID" ? "INTEGER"
            : (name == "main_nom" || name == "red_nom" || name == "LENGTH" || name == "WEIGHT")
                ? "DOUBLE PRECISION"
                : "TEXT";
        create += (c == 0 ? "\"" : ", \"") + name + "\" " + type;
    }
    create += ")";
    std::string insert = "INSERT INTO \"Pipe\" VALUES ";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        insert += r == 0 ? "(" : ", (";
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            insert += (c == 0 ? "" : ", ") + literal(rows[r][c]);
        insert += ")";
    }
    // Test programs running side by side may share one server (ctest runs
    // every test in a process of its own): the first to come creates the
    // table, under a lock, and the others find it there and leave it alone.
    return {"DO $korvalt$ BEGIN PERFORM pg_advisory_xact_lock(72401); IF to_regclass('\"Pipe\"') "
            "IS NULL THEN " +
            create + "; " + insert + "; END IF; END $korvalt$"};
}

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::array<SQLWCHAR, 6> state{};
    std::array<SQLWCHAR, 1024> message{};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRecW(type, handle, 1, state.data(), &native, message.data(),
                   static_cast<SQLSMALLINT>(message.size()), &length);
    const auto units = std::min<std::size_t>(
        static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
    return odbc::fromWide(state.data(), 5) + ": " + odbc::fromWide(message.data(), units);
}

// The command that stops a cluster, for a shell.
std::string stopCommand(const QString& pgCtl, const QString& data, const char* mode) {
    const QString user = geteuid() == 0 ? QString("runuser -u ") + kServerUser + " -- " : "";
    return (user + "'" + pgCtl + "' -D '" + data + "' -m " + mode + " -w stop >/dev/null 2>&1")
        .toStdString();
}

} // namespace

struct PgServer::Cluster {
    QTemporaryDir folder;
    QString pgCtl;
    QString data;
    bool started = false;
    // Runs when the program ends, after the application object is gone: a
    // plain shell rather than QProcess.
    ~Cluster() {
        if (started && std::system(stopCommand(pgCtl, data, "fast").c_str()) != 0)
            std::fputs("the PostgreSQL test server did not stop\n", stderr);
    }
};

struct PgServer::Shared {
    bool tried = false;
    bool failed = false;
    std::unique_ptr<PgServer> server;
    std::string whyNot;
};

int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof(address);
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    if (port == 0)
        throw std::runtime_error("no free loopback port");
    return port;
}

PgServer::PgServer(std::string connection, std::unique_ptr<Cluster> cluster)
    : m_connection(std::move(connection)), m_cluster(std::move(cluster)) {}

PgServer::~PgServer() = default;

PgServer::Shared& PgServer::state() {
    // One server for the whole run of the test program.
    static Shared shared;
    return shared;
}

const std::string& PgServer::whyNot() {
    return state().whyNot;
}

bool PgServer::setupFailed() {
    return state().failed;
}

PgServer* PgServer::shared() {
    Shared& s = state();
    if (!s.tried) {
        s.tried = true;
        try {
            s.server = start(s.whyNot);
            if (s.server)
                s.server->run(loadStatements());
        } catch (const std::exception& e) {
            s.server.reset();
            s.failed = true;
            s.whyNot = std::string("the PostgreSQL test server could not be set up: ") + e.what();
        }
    }
    return s.server.get();
}

std::unique_ptr<PgServer> PgServer::start(std::string& whyNot) {
    if (const char* given = std::getenv("KORVALT_TEST_PG"); given != nullptr && *given != '\0')
        return std::make_unique<PgServer>(given, nullptr);
    const std::string binaries = newestBinaries();
    if (binaries.empty()) {
        whyNot = "skipped: no PostgreSQL server binaries in /usr/lib/postgresql/*/bin and "
                 "KORVALT_TEST_PG (an ODBC connection string) is not set";
        return nullptr;
    }
    auto cluster = std::make_unique<Cluster>();
    if (!cluster->folder.isValid())
        throw std::runtime_error("no temporary folder");
    const QString root = cluster->folder.path();
    if (geteuid() == 0) {
        const passwd* user = getpwnam(kServerUser);
        if (user == nullptr || chown(root.toLocal8Bit().constData(), user->pw_uid, user->pw_gid))
            throw std::runtime_error("cannot hand " + root.toStdString() + " to " + kServerUser);
    }
    const QString bin = QString::fromStdString(binaries);
    cluster->pgCtl = bin + "/pg_ctl";
    cluster->data = root + "/data";
    QString output;
    if (!runTool(bin + "/initdb",
                 {"-D", cluster->data, "--locale=C.UTF-8", "-E", "UTF8", "-A", "trust", "-U",
                  "postgres", "--no-sync"},
                 output))
        throw std::runtime_error("initdb failed: " + output.toStdString());
    // Should the test program die without running its destructors, a
    // watchdog stops the server and removes the folder once it is gone.
    const QString stop =
        QString::fromStdString(stopCommand(cluster->pgCtl, cluster->data, "immediate"));
    QProcess watchdog;
    watchdog.setProgram("sh");
    watchdog.setArguments({"-c", QString("while kill -0 %1 2>/dev/null; do sleep 1; done; %2; "
                                         "rm -rf '%3'")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(stop, root)});
    watchdog.setStandardInputFile(QProcess::nullDevice());
    watchdog.setStandardOutputFile(QProcess::nullDevice());
    watchdog.setStandardErrorFile(QProcess::nullDevice());
    watchdog.startDetached();
    // A port found free may be taken before the server binds it: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int port = freeLoopbackPort();
        const QString options =
            QString("-p %1 -k '%2' -c listen_addresses=127.0.0.1 -c fsync=off").arg(port).arg(root);
        if (runTool(cluster->pgCtl,
                    {"-D", cluster->data, "-l", root + "/server.log", "-w", "-t", "60", "-o",
                     options, "start"},
                    output)) {
            cluster->started = true;
            const std::string connection =
                "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=" + std::to_string(port) +
                ";DATABASE=postgres;UID=postgres;CommLog=0";
            return std::make_unique<PgServer>(connection, std::move(cluster));
        }
    }
    throw std::runtime_error("pg_ctl start failed: " + output.toStdString());
}

std::string PgServer::connectionStringWith(const std::string& attribute) const {
    std::string out = m_connection;
    if (!out.empty() && out.back() != ';')
        out += ';';
    return out + attribute;
}

std::string PgServer::privateCopy(const std::string& schema) const {
    std::vector<std::string> statements = {"DROP SCHEMA IF EXISTS " + schema + " CASCADE",
                                           "CREATE SCHEMA " + schema,
                                           "SET search_path TO " + schema};
    for (std::string& sql : loadStatements())
        statements.push_back(std::move(sql));
    run(statements);
    return connectionStringWith("ConnSettings={SET search_path TO " + schema + "}");
}

void PgServer::dropSchema(const std::string& schema) const {
    run({"DROP SCHEMA IF EXISTS " + schema + " CASCADE"});
}

void PgServer::run(const std::vector<std::string>& statements) const {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string failure;
    // Whatever the server's configuration, a backslash in a literal is a
    // plain character.
    std::vector<std::string> all = {"SET standard_conforming_strings = on"};
    all.insert(all.end(), statements.begin(), statements.end());
    odbc::WideString wide = odbc::toWide(m_connection);
    SQLSMALLINT outLength = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, wide.data(),
                                         static_cast<SQLSMALLINT>(wide.size()), nullptr, 0,
                                         &outLength, SQL_DRIVER_NOPROMPT))) {
        failure = "cannot connect: " + diagnostics(SQL_HANDLE_DBC, dbc);
    } else {
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        for (const std::string& sql : all) {
            wide = odbc::toWide(sql);
            const SQLRETURN rc =
                SQLExecDirectW(stmt, wide.data(), static_cast<SQLINTEGER>(wide.size()));
            if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
                failure = sql.substr(0, 80) + ": " + diagnostics(SQL_HANDLE_STMT, stmt);
                break;
            }
            SQLFreeStmt(stmt, SQL_CLOSE);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (!failure.empty())
        throw std::runtime_error(failure);
}

} // namespace korvalt::test_support
