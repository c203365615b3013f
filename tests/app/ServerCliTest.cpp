#include "app/DeleteCli.h"
#include "app/ReportCli.h"
#include "database/Database.h"
#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "support/PgServer.h"
#include "support/PipeCsv.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

namespace korvalt::testing {
namespace {

using Args = std::vector<std::string>;
using Counts = std::map<std::string, int>;
using Keys = std::vector<std::size_t>;
using Rows = std::vector<std::vector<std::string>>;
using test_support::PgServer;

struct CliResult {
    int code;
    std::string out;
    std::string err;
};

// The server trusts local users: the password is only carried along, and
// must show nowhere.
constexpr const char* kPassword = "secret";

// Records per drawing of the fixture.
Counts csvDrawings() {
    const auto& columns = test_support::pipeCsvColumns();
    const auto at = static_cast<std::size_t>(std::find(columns.begin(), columns.end(), "DWG_NAME") -
                                             columns.begin());
    Counts counts;
    for (const auto& row :
         test_support::loadPipeCsv(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv"))
        ++counts[row[at].isText() ? row[at].asText() : "(Null)"];
    return counts;
}

// Records per drawing, read over a connection of its own.
Counts drawings(const std::string& address) {
    Counts counts;
    const auto db = OpenDatabase(address);
    for (auto rs = db->openRecordset("SELECT DWG_NAME FROM Pipe"); !rs->isEof(); rs->moveNext())
        ++counts[rs->fields("DWG_NAME").isText() ? rs->fields("DWG_NAME").asText() : "(Null)"];
    return counts;
}

class ServerCliTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        KORVALT_PG_SERVER_OR_SKIP(server);
        m_server = server;
    }
    CliResult report(const Args& args) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = ReportCli::run(args, out, err);
        SetToolkit(&fake);
        return {code, out.str(), err.str()};
    }
    CliResult remove(const Args& args, const std::string& input = "") {
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        const int code = DeleteCli::run(args, in, out, err);
        SetToolkit(&fake);
        return {code, out.str(), err.str()};
    }
    static void expectNoPassword(const CliResult& result) {
        EXPECT_EQ(result.out.find(kPassword), std::string::npos) << result.out;
        EXPECT_EQ(result.err.find(kPassword), std::string::npos) << result.err;
    }
    PgServer* m_server = nullptr;
};

// The title, empty field and heading lines, then the rows, split into fields.
Rows csvRows(const std::string& text) {
    Rows rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            field += text[i++];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == '\n')) {
            rows.back().push_back(std::move(field));
            field.clear();
            if (c == '\n')
                rows.emplace_back();
        } else if (quoted || c != '\r') {
            field += c;
        }
    }
    rows.pop_back();
    return rows;
}

// Every report writes on the server what it writes on the file copy of the
// same records, and says the same on the error stream (the statement sent,
// the reports of failed statements): byte for byte where the order of the
// rows is settled, otherwise with the rows equal in the sort keys (`ties`,
// columns from 0; empty for no order at all) in any order.
TEST_F(ServerCliTest, ReportsWriteWhatTheFileCopyGives) {
    const std::string address = m_server->connectionStringWith("PWD=" + std::string(kPassword));
    const Keys searchOrder = {0, 1, 5};
    const struct {
        Args args;
        std::optional<Keys> ties;
    } cases[] = {
        {{"--report", "search"}, searchOrder},
        {{"--report", "search", "--drawing", "AREA4.dwg"}, std::nullopt},
        {{"--report", "search", "--short", "*val*", "--sort", "9"}, Keys{8}},
        {{"--report", "search", "--spec", "cs150", "--size", "4"}, searchOrder},
        {{"--report", "search", "--drawing", "area?.DWG", "--long", "*a*", "--sort", "6",
          "--descending"},
         Keys{5}},
        {{"--report", "search", "--tag", "P_1*"}, std::nullopt},
        {{"--report", "require-line"}, Keys{0, 1, 3}},
        {{"--report", "require-tag", "--drawing", "AREA*"}, Keys{0, 1, 3}},
        {{"--report", "unique-lines", "--spec", "CS150"}, Keys{}},
        {{"--report", "unique-lines", "--spec", "CS150", "--sort", "1"}, std::nullopt},
        // The apostrophe tag's own check is malformed: reported, the rest listed.
        {{"--report", "duplicate-tags"}, Keys{1, 3}},
        {{"--report", "duplicate-tags", "--sort", "6"}, std::nullopt},
        {{"--report", "model-files", "--sort", "1"}, std::nullopt},
    };
    for (const auto& c : cases) {
        std::string label;
        for (const std::string& a : c.args)
            label += a + " ";
        SCOPED_TRACE(label);
        std::array<CliResult, 2> result;
        std::array<std::string, 2> written;
        for (const std::size_t server : {0u, 1u}) {
            const std::string output = tempPath(server == 1 ? "server.csv" : "file.csv");
            Args args = {"--database", server == 1 ? address : databasePath, "--output", output,
                         "--print-sql"};
            args.insert(args.end(), c.args.begin(), c.args.end());
            result[server] = report(args);
            written[server] = readFile(output);
        }
        EXPECT_EQ(result[1].code, result[0].code) << result[1].err;
        EXPECT_EQ(result[1].err, result[0].err);
        expectNoPassword(result[1]);
        Rows file = csvRows(written[0]);
        ASSERT_GE(file.size(), 3u);
        if (!c.ties) {
            EXPECT_EQ(written[1], written[0]);
            continue;
        }
        EXPECT_GT(file.size(), 4u);
        Rows server = csvRows(written[1]);
        for (Rows* rows : {&file, &server}) {
            const auto body = rows->begin() + std::min<std::ptrdiff_t>(3, std::ssize(*rows));
            Rows sorted = tiesSorted(Rows(body, rows->end()), *c.ties);
            rows->erase(body, rows->end());
            rows->insert(rows->end(), sorted.begin(), sorted.end());
        }
        EXPECT_EQ(server, file);
    }
}

TEST_F(ServerCliTest, DeleteTakesOneModelFileFromTheServer) {
    const std::string schema = "korvalt_cli_" + std::to_string(getpid());
    const std::string connection = m_server->privateCopy(schema);
    struct Drop {
        const PgServer& server;
        const std::string& schema;
        ~Drop() { server.dropSchema(schema); }
    } drop{*m_server, schema};
    const std::string address = connection + ";PWD=" + kPassword;
    Counts expected = csvDrawings();
    const int area1 = expected.at("AREA1.dwg");
    ASSERT_GT(area1, 1);
    ASSERT_EQ(drawings(connection), expected);

    // Asked first, the address shown without its password.
    CliResult result = remove({"--database", address, "--drawing", "AREA1.dwg"}, "y\n");
    EXPECT_EQ(result.code, DeleteCli::kSuccess) << result.err;
    EXPECT_EQ(result.out, "Deleted " + std::to_string(area1) + " records of AREA1.dwg.\n");
    EXPECT_NE(result.err.find(" holds " + std::to_string(area1) + " records of AREA1.dwg.\n"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("SERVER="), std::string::npos) << result.err;
    expectNoPassword(result);
    expected.erase("AREA1.dwg");
    EXPECT_EQ(drawings(connection), expected);

    // The whole name in any letter case, an apostrophe inside the quotes.
    result = remove({"--database", address, "--drawing", "o'neil-4.DWG", "--yes"});
    EXPECT_EQ(result.code, DeleteCli::kSuccess) << result.err;
    EXPECT_EQ(result.out, "Deleted 1 record of O'Neil-4.dwg.\n");
    expectNoPassword(result);
    expected.erase("O'Neil-4.dwg");
    EXPECT_EQ(drawings(connection), expected);

    const struct {
        std::string drawing;
        std::string inError;
    } refused[] = {
        {"AREA1.dwg", " holds no records of AREA1.dwg. Nothing was deleted."},
        {"AREA*", " holds no records of AREA*. Nothing was deleted."},
        {"AREA2\".dwg", "korvalt-delete: Error 3075: "},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.drawing);
        result = remove({"--database", address, "--drawing", r.drawing, "--yes"});
        EXPECT_EQ(result.code, DeleteCli::kFailure);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(r.inError), std::string::npos) << result.err;
        expectNoPassword(result);
    }
    EXPECT_EQ(drawings(connection), expected);
}

// A server nobody answers on, or a data source that does not exist: the
// error numbers of a missing file, and the password in no message.
TEST_F(ServerCliTest, UnreachableServerIsReportedWithoutThePassword) {
    const std::string& given = m_server->connectionString();
    const std::string driver = given.substr(0, given.find(';'));
    const std::string password = std::string(";PWD=") + kPassword;
    const struct {
        std::string address;
        const char* inError;
    } cases[] = {
        {driver + ";SERVER=127.0.0.1;PORT=" + std::to_string(test_support::freeLoopbackPort()) +
             ";DATABASE=postgres;UID=postgres" + password,
         "Error 3024: "},
        {"DSN=korvalt-no-such-source" + password, "Error 3044: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const std::string output = tempPath("never.csv");
        const CliResult listed =
            report({"--database", c.address, "--report", "search", "--output", output});
        const CliResult deleted = remove({"--database", c.address, "--drawing", "A", "--yes"});
        for (const CliResult& result : {listed, deleted}) {
            EXPECT_EQ(result.code, 1);
            EXPECT_NE(result.err.find(c.inError), std::string::npos) << result.err;
            expectNoPassword(result);
        }
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

} // namespace
} // namespace korvalt::testing
