#include "ServerLoader.h"

#include "database/EngineError.h"
#include "database/PipeSchema.h"
#include "support/PgServer.h"
#include "support/PipeCsv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace korvalt {
namespace {

using test_support::PgServer;
using Rows = std::vector<std::vector<Value>>;

// An empty schema of the test's own on the shared server, dropped at the end.
class ServerLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        KORVALT_PG_SERVER_OR_SKIP(server);
        m_server = server;
        m_schema = std::string("loader_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : m_schema)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        m_server->run(
            {"DROP SCHEMA IF EXISTS " + m_schema + " CASCADE", "CREATE SCHEMA " + m_schema});
        m_address =
            m_server->connectionStringWith("ConnSettings={SET search_path TO " + m_schema + "}");
    }
    void TearDown() override {
        if (m_server != nullptr)
            m_server->dropSchema(m_schema);
    }

    // A source database of our own format holding `rows` (in the fixture
    // CSV's column order, three columns more than the Pipe columns).
    std::unique_ptr<Database> source(const Rows& rows) {
        const std::string path = m_folder.filePath("source.db").toStdString();
        test_support::writePipeSqlite(path, rows);
        return OpenDatabase(path);
    }
    // The old table a test puts in the loader's way, in another letter case.
    void putOldTable() {
        m_server->run({"SET search_path TO " + m_schema, "CREATE TABLE pipe (x INTEGER)",
                       "INSERT INTO pipe VALUES (7)"});
    }
    void expectOldTable() {
        const auto db = OpenDatabase(m_address);
        const auto rs = db->openRecordset("SELECT x FROM Pipe");
        ASSERT_FALSE(rs->isEof());
        EXPECT_EQ(rs->fields("x"), Value::integer(7));
    }

    PgServer* m_server = nullptr;
    std::string m_schema;
    std::string m_address;
    QTemporaryDir m_folder;
};

// Every Pipe value of every record, in UNIQUE_ID order, typed and readable.
std::vector<std::string> pipeRows(Database& db) {
    std::vector<std::string> out;
    for (auto rs = db.openRecordset("SELECT * FROM Pipe ORDER BY UNIQUE_ID"); !rs->isEof();
         rs->moveNext()) {
        std::string row;
        for (const char* column : pipe_schema::kColumns) {
            const Value& v = rs->fields(column);
            std::array<char, 40> real{};
            if (v.isReal())
                std::snprintf(real.data(), real.size(), "%.17g", v.asReal());
            row += v.isNull()      ? "<null>"
                   : v.isText()    ? "t:" + v.asText()
                   : v.isInteger() ? "i:" + std::to_string(v.asInteger())
                                   : std::string("r:") + real.data();
            row += '|';
        }
        out.push_back(row);
    }
    return out;
}

// Texts that mean something to a server's SQL, letters beyond ASCII, Null
// and empty text apart, reals that need every digit; enough records to
// cross the statements' boundaries.
Rows awkwardRows(std::size_t count) {
    const std::vector<std::string> texts = {
        "O'Brien ''", "C:\\dir\\ \\' \\\\", "100%_done [x]",  "Ä ö ñ 漢字 😀",    "",
        "   ",        "$1 $$ $tag$ ?",      "\"quoted\" ;--", "line\nbreak\ttab"};
    const std::vector<double> reals = {0.1, 1e-300, 1.7976931348623157e308, -123456.789, 2.0 / 3};
    Rows rows;
    for (std::size_t r = 0; r < count; ++r) {
        std::vector<Value> row;
        for (std::size_t c = 0; c < 15; ++c) {
            const std::size_t k = r * 15 + c;
            if (c == 11)
                row.push_back(Value::integer(static_cast<std::int64_t>(r) - 3));
            else if (c == 6 || c == 7 || c == 9 || c == 13)
                row.push_back(k % 7 == 0 ? Value::null() : Value::real(reals[k % reals.size()]));
            else
                row.push_back(k % 11 == 0 ? Value::null() : Value::text(texts[k % texts.size()]));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

TEST_F(ServerLoaderTest, CopiesEveryValueOfEveryRecord) {
    const std::unique_ptr<Database> fixture =
        OpenDatabase(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.mdb");
    EXPECT_EQ(loadIntoServer(*fixture, m_address), 40u);
    EXPECT_EQ(pipeRows(*OpenDatabase(m_address)), pipeRows(*fixture));

    const std::unique_ptr<Database> awkward = source(awkwardRows(1203));
    std::vector<std::size_t> progress;
    ServerLoadOptions options;
    options.replace = true;
    options.progress = [&progress](std::size_t sent) { progress.push_back(sent); };
    EXPECT_EQ(loadIntoServer(*awkward, m_address, options), 1203u);
    EXPECT_EQ(progress, (std::vector<std::size_t>{500, 1000, 1203}));
    EXPECT_EQ(pipeRows(*OpenDatabase(m_address)), pipeRows(*awkward));
}

TEST_F(ServerLoaderTest, LeavesAnExistingPipeTableAloneUnlessReplacing) {
    putOldTable();
    const std::unique_ptr<Database> awkward = source(awkwardRows(3));
    try {
        loadIntoServer(*awkward, m_address);
        ADD_FAILURE() << "an existing table was not refused";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("'pipe'"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("--replace"), std::string::npos) << e.what();
    }
    expectOldTable();

    ServerLoadOptions replace;
    replace.replace = true;
    EXPECT_EQ(loadIntoServer(*awkward, m_address, replace), 3u);
    EXPECT_EQ(pipeRows(*OpenDatabase(m_address)), pipeRows(*awkward));
}

TEST_F(ServerLoaderTest, AFailureMidwayLeavesTheServerAsItWas) {
    // Text the server cannot take as a number, after a statement's worth of
    // records has gone in.
    Rows rows = awkwardRows(700);
    rows[650][6] = Value::text("not a number");
    const std::unique_ptr<Database> bad = source(rows);

    EXPECT_THROW(loadIntoServer(*bad, m_address), EngineError);
    try {
        OpenDatabase(m_address)->openRecordset("SELECT * FROM Pipe");
        ADD_FAILURE() << "a table was left behind";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), engine_errors::kTableNotFound) << e.what();
    }

    putOldTable();
    ServerLoadOptions replace;
    replace.replace = true;
    EXPECT_THROW(loadIntoServer(*bad, m_address, replace), EngineError);
    expectOldTable();
}

} // namespace
} // namespace korvalt
