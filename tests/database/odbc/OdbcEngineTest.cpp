#include "database/Database.h"
#include "database/EngineError.h"
#include "database/odbc/OdbcConnection.h"
#include "support/EngineCases.h"
#include "support/PgServer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>

namespace korvalt {
namespace {

using test_support::EngineCase;
using test_support::PgServer;

std::size_t countRecords(Database& db) {
    return test_support::readField(db, "SELECT * FROM PIPE", "UNIQUE_ID").size();
}

// Tests on the server: skipped, saying why, when there is none.
class OdbcServer : public ::testing::Test {
protected:
    void SetUp() override {
        KORVALT_PG_SERVER_OR_SKIP(server);
        m_server = server;
    }
    PgServer* m_server = nullptr;
};

// A test's own copy of the table, removed at the end whatever happens.
class PrivateCopy {
public:
    explicit PrivateCopy(const PgServer& server)
        : m_server(server), m_schema("korvalt_test_" + std::to_string(getpid())),
          m_connection(server.privateCopy(m_schema)) {}
    ~PrivateCopy() { m_server.dropSchema(m_schema); }
    std::unique_ptr<Database> open() const { return OpenDatabase(m_connection); }
    const std::string& schema() const { return m_schema; }

private:
    const PgServer& m_server;
    std::string m_schema;
    std::string m_connection;
};

class OdbcEngineCases : public ::testing::TestWithParam<EngineCase> {};

TEST_P(OdbcEngineCases, AnswersAsWorkedOut) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const auto db = OpenDatabase(server->connectionString());
    test_support::checkEngineCase(*db, GetParam());
    // No case may change the data, accepted or not.
    EXPECT_EQ(countRecords(*db), 40u);
}

INSTANTIATE_TEST_SUITE_P(PipeSmall, OdbcEngineCases,
                         ::testing::ValuesIn(test_support::engineQueryCases()),
                         [](const auto& param) { return param.param.name; });

TEST_F(OdbcServer, FieldsKeepTheirTypesAndText) {
    // The server trusts every local user: the password is only carried.
    const auto db = OpenDatabase(m_server->connectionStringWith("PWD={s3cr;et}"));
    EXPECT_EQ(db->path().find("s3cr"), std::string::npos);
    auto rs = db->openRecordset("SELECT * FROM PIPE WHERE UNIQUE_ID = 13");
    ASSERT_FALSE(rs->isEof());
    EXPECT_NE(rs->recordCount(), 0);
    EXPECT_EQ(rs->fields("main_nom"), Value::real(2.5));
    EXPECT_EQ(rs->fields("LENGTH"), Value::real(250.5));
    EXPECT_EQ(rs->fields("unique_id"), Value::integer(13));
    EXPECT_EQ(rs->fields("TAG"), Value::text("P-20"));
    EXPECT_EQ(rs->fields("NOTES"), Value::null());
    EXPECT_THROW(rs->fields("NoSuchField"), EngineError);
    rs->moveNext();
    EXPECT_TRUE(rs->isEof());
    EXPECT_THROW(rs->moveNext(), EngineError);

    // Null and empty text apart; letters beyond ASCII unchanged both ways.
    rs = db->openRecordset("SELECT * FROM PIPE WHERE UNIQUE_ID = 7 OR UNIQUE_ID = 9 OR "
                           "SHORT_DESC = 'RÜCKSCHLAGVENTIL' ORDER BY UNIQUE_ID");
    const int tag = rs->fieldPosition("tag");
    const int longDesc = rs->fieldPosition("Long_Desc");
    ASSERT_GE(tag, 0);
    ASSERT_GE(longDesc, 0);
    EXPECT_EQ(rs->fieldPosition("Tag "), -1);
    EXPECT_EQ(rs->textAt(tag), std::optional<std::string_view>(""));
    EXPECT_EQ(rs->valueAt(tag), Value::text(""));
    rs->moveNext();
    EXPECT_EQ(rs->textAt(tag), std::nullopt);
    EXPECT_EQ(rs->valueAt(tag), Value::null());
    rs->moveNext();
    ASSERT_FALSE(rs->isEof());
    EXPECT_EQ(rs->textAt(longDesc), std::optional<std::string_view>("Ventil Ø50 Rückschlag"));
    EXPECT_EQ(rs->textAt(rs->fieldPosition("UNIQUE_ID")), std::nullopt);
    rs->close();
    EXPECT_THROW(rs->textAt(tag), EngineError);

    rs = db->openRecordset("SELECT * FROM PIPE WHERE Tag = 'no such tag'");
    EXPECT_TRUE(rs->isEof());
    EXPECT_EQ(rs->recordCount(), 0);
}

TEST_F(OdbcServer, ATableGoneFromTheServerIsAMissingTable) {
    const PrivateCopy copy(*m_server);
    const auto db = copy.open();
    m_server->run({"DROP TABLE " + copy.schema() + ".\"Pipe\""});
    try {
        db->openRecordset("SELECT * FROM PIPE");
        ADD_FAILURE() << "opened";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), engine_errors::kTableNotFound) << e.description();
    }
}

// The delete runs in a transaction: a failure part-way leaves every record,
// the connection goes on working, and a delete that succeeds is committed
// for everybody.
TEST_F(OdbcServer, DeleteIsAllOrNothing) {
    const PrivateCopy copy(*m_server);
    const std::string table = copy.schema() + ".\"Pipe\"";
    const std::string refuse = copy.schema() + ".refuse";
    m_server->run({"CREATE FUNCTION " + refuse +
                       "() RETURNS trigger AS $$ BEGIN IF "
                       "OLD.\"UNIQUE_ID\" = 40000 THEN RAISE EXCEPTION 'record 40000 is kept'; END "
                       "IF; RETURN OLD; END $$ LANGUAGE plpgsql",
                   "CREATE TRIGGER refuse BEFORE DELETE ON " + table +
                       " FOR EACH ROW EXECUTE FUNCTION " + refuse + "()"});
    const auto db = copy.open();
    const std::string remove = "DELETE FROM pipe WHERE DWG_NAME = \"AREA5.dwg\"";
    // A delete is no query, and a query no action: neither runs.
    const auto refused = [&](auto run) {
        try {
            run();
        } catch (const EngineError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(refused([&] { db->openRecordset(remove); }), engine_errors::kInvalidOperation);
    EXPECT_EQ(refused([&] { db->execute("SELECT * FROM PIPE"); }),
              engine_errors::kSelectNotExecutable);
    try {
        db->execute(remove);
        ADD_FAILURE() << "deleted";
    } catch (const EngineError& e) {
        // Not one of the numbers the program answers differently.
        EXPECT_NE(e.number(), engine_errors::kTableNotFound);
        EXPECT_NE(e.number(), engine_errors::kFileNotFound);
        EXPECT_NE(e.description().find("record 40000 is kept"), std::string::npos)
            << e.description();
        EXPECT_NE(e.description().find("SQLSTATE P0001"), std::string::npos) << e.description();
    }
    EXPECT_EQ(countRecords(*db), 40u);

    m_server->run({"DROP TRIGGER refuse ON " + table});
    db->execute(remove);
    EXPECT_EQ(countRecords(*db), 33u);
    EXPECT_EQ(countRecords(*copy.open()), 33u);
}

// Results far larger than what is handed over at once arrive whole and in
// order; a result left half read, or not read at all, does not stand in the
// way of the next statement.
TEST_F(OdbcServer, LargeResultsArriveWholeAndInOrder) {
    const PrivateCopy copy(*m_server);
    m_server->run({"INSERT INTO " + copy.schema() +
                   ".\"Pipe\" (\"UNIQUE_ID\", \"Tag\") SELECT g, 'T' || g FROM "
                   "generate_series(100000, 104999) AS g"});
    const auto db = copy.open();
    auto rs =
        db->openRecordset("SELECT Tag, Unique_ID FROM PIPE WHERE UNIQUE_ID >= 100000 ORDER BY "
                          "UNIQUE_ID DESC");
    const int tag = rs->fieldPosition("TAG");
    long expected = 104999;
    for (; !rs->isEof(); rs->moveNext(), --expected) {
        ASSERT_EQ(rs->fields("unique_id"), Value::integer(expected));
        ASSERT_EQ(rs->textAt(tag), std::optional<std::string_view>("T" + std::to_string(expected)));
    }
    EXPECT_EQ(expected, 99999);

    auto halfRead = db->openRecordset("SELECT * FROM PIPE ORDER BY UNIQUE_ID");
    halfRead->moveNext();
    auto unread = db->openRecordset("SELECT * FROM PIPE");
    halfRead->close();
    db->execute("DELETE FROM PIPE WHERE UNIQUE_ID >= 100000");
    unread.reset();
    EXPECT_EQ(countRecords(*copy.open()), 40u);
}

// While another user holds the table, a query and a delete wait for the
// server, and the program is told that work goes on meanwhile.
TEST_F(OdbcServer, WaitingForTheServerIsReported) {
    const PrivateCopy copy(*m_server);
    const auto db = copy.open();
    odbc::Connection other(
        m_server->connectionStringWith("ConnSettings={SET search_path TO " + copy.schema() + "}"));
    int calls = 0;
    db->setProgress([&] {
        if (++calls == 3)
            other.endTransaction(true);
    });
    // Should nobody be told, the server ends the lock after a while, and the
    // test fails instead of waiting for ever.
    other.run("SET idle_in_transaction_session_timeout = '10s'");
    const auto lockTable = [&] {
        calls = 0;
        other.setAutocommit(false);
        other.run("LOCK TABLE \"Pipe\" IN ACCESS EXCLUSIVE MODE");
    };
    lockTable();
    EXPECT_EQ(countRecords(*db), 40u);
    EXPECT_EQ(calls, 3);
    lockTable();
    db->execute("DELETE FROM PIPE WHERE TAG = 'P-20'");
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(countRecords(*db), 39u);
}

} // namespace
} // namespace korvalt
