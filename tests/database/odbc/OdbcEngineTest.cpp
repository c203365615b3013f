#include "database/Database.h"
#include "database/EngineError.h"
#include "database/odbc/OdbcConnection.h"
#include "support/EngineCases.h"
#include "support/PgServer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace korvalt {
namespace {

using test_support::PgServer;
using test_support::PrivateCopy;

std::size_t countRecords(Database& db) {
    return test_support::readField(db, "SELECT * FROM PIPE", "UNIQUE_ID").size();
}

// The error a call raises: its number and words ({0, ""} for none).
template <typename Call> std::pair<int, std::string> failure(Call call) {
    try {
        call();
    } catch (const EngineError& e) {
        return {e.number(), e.description()};
    }
    return {0, ""};
}

// The statements every back end answers alike, none changing the data,
// accepted or not; fields keep their types and text.
TEST(OdbcServer, AnswersAsEveryBackEndAndKeepsFieldsWhole) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    // The server trusts every local user: the password is only carried.
    const auto db = OpenDatabase(server->connectionStringWith("PWD={s3cr;et}"));
    EXPECT_EQ(db->path(), server->connectionString() + ";PWD={***}");
    for (const test_support::EngineCase& c : test_support::engineQueryCases()) {
        SCOPED_TRACE(c.sql);
        test_support::checkEngineCase(*db, c);
    }
    EXPECT_EQ(countRecords(*db), 40u);
    auto rs = db->openRecordset("SELECT * FROM PIPE WHERE UNIQUE_ID = 13 OR UNIQUE_ID = 7 OR "
                                "UNIQUE_ID = 9 OR SHORT_DESC = 'RÜCKSCHLAGVENTIL' ORDER BY "
                                "UNIQUE_ID DESC");
    const int tag = rs->fieldPosition("tag");
    const int longDesc = rs->fieldPosition("Long_Desc");
    EXPECT_EQ(rs->fieldPosition("Tag "), -1);
    EXPECT_EQ(rs->fieldPosition("LÖNG_DESC"), -1);
    // Letters beyond ASCII unchanged both ways; a number field has no text.
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(rs->textAt(longDesc), std::optional<std::string_view>("Ventil Ø50 Rückschlag"));
    EXPECT_EQ(rs->textAt(rs->fieldPosition("UNIQUE_ID")), std::nullopt);
    rs->moveNext();
    EXPECT_EQ(rs->recordCount(), 2);
    ASSERT_EQ(rs->fields("UNIQUE_ID"), Value::integer(13));
    EXPECT_EQ(rs->fields("main_nom"), Value::real(2.5));
    EXPECT_EQ(rs->valueAt(tag), Value::text("P-20"));
    EXPECT_EQ(
        failure([&] { rs->fields("NoSuchField"); }),
        std::pair(engine_errors::kItemNotFound, std::string("Item not found in this collection.")));
    rs->moveNext();
    // Null and empty text apart.
    EXPECT_EQ(rs->textAt(tag), std::nullopt);
    EXPECT_EQ(rs->valueAt(tag), Value::null());
    rs->moveNext();
    EXPECT_EQ(rs->textAt(tag), std::optional<std::string_view>(""));
    EXPECT_EQ(rs->valueAt(tag), Value::text(""));
    rs->moveNext();
    EXPECT_TRUE(rs->isEof());
    EXPECT_EQ(rs->recordCount(), 4);
    EXPECT_EQ(failure([&] { rs->moveNext(); }),
              std::pair(engine_errors::kNoCurrentRecord, std::string("No current record.")));
    EXPECT_EQ(failure([&] { rs->valueAt(tag); }).first, engine_errors::kNoCurrentRecord);
    rs->close();
    EXPECT_EQ(failure([&] { rs->textAt(tag); }).first, engine_errors::kNoCurrentRecord);
    EXPECT_EQ(failure([&] { rs->moveNext(); }).first, engine_errors::kObjectClosed);
    rs = db->openRecordset("SELECT * FROM PIPE WHERE Tag = 'no such tag'");
    EXPECT_TRUE(rs->isEof());
    EXPECT_EQ(rs->recordCount(), 0);
}

// What the program tells apart: an address that names nothing, a server or
// database out of reach, a table gone; no message repeats a password.
TEST(OdbcServer, FailuresAreToldApartWithoutThePassword) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const std::string secrets = ";PWD={s3cr;et-1};PASSWORD=s3cret-2";
    const std::string hidden = ";PWD={***};PASSWORD=***";
    // Nothing listens on port 1.
    const std::string unreachable =
        "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=1;DATABASE=postgres;UID=postgres";
    const std::string noDatabase = server->connectionStringWith("DATABASE=korvalt_no_such_db");
    // A server without ICU: its collation gone from a database of the test's own.
    const std::string plain = "korvalt_no_icu_" + std::to_string(getpid());
    const std::string noIcu = server->connectionStringWith("DATABASE=" + plain);
    server->run({"DROP DATABASE IF EXISTS " + plain, "CREATE DATABASE " + plain});
    PgServer(noIcu).run({"DROP COLLATION pg_catalog.\"und-x-icu\""});
    const struct {
        std::string address;
        int number;
        std::string starts;
        std::string state;
    } cases[] = {
        {"DSN=KorvaltNoSuchSource", engine_errors::kInvalidPath,
         "'DSN=KorvaltNoSuchSource" + hidden + "' isn't a valid data source. ", "IM002"},
        {"DRIVER={Korvalt No Such Driver};SERVER=x", engine_errors::kInvalidPath,
         "'DRIVER={Korvalt No Such Driver};SERVER=x" + hidden + "' isn't a valid data source. ",
         "(SQLSTATE "},
        {unreachable, engine_errors::kFileNotFound,
         "Could not reach the database server of '" + unreachable + hidden + "'. ", "08001"},
        {noDatabase, engine_errors::kFileNotFound,
         "Could not reach the database server of '" + noDatabase + hidden + "'. ", "(SQLSTATE "},
        {noIcu, engine_errors::kGeneral,
         "The PostgreSQL server of '" + noIcu + hidden +
             "' has no ICU collations (it was built without ICU); Korvalt needs them to compare "
             "text without regard to letter case.",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const auto [number, text] = failure([&] { OpenDatabase(c.address + secrets); });
        EXPECT_EQ(number, c.number) << text;
        EXPECT_TRUE(text.starts_with(c.starts)) << text;
        EXPECT_NE(text.find(c.state), std::string::npos) << text;
        EXPECT_EQ(text.find("s3cr"), std::string::npos) << text;
    }
    server->run({"DROP DATABASE " + plain});
}

// A delete is all or nothing; large results arrive whole and in order, and
// one left unread stands in no way; waits for another user are reported; a
// table gone is a missing table.
TEST(OdbcServer, ChangesAreAllOrNothingAndResultsArriveWhole) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const PrivateCopy copy(*server, "korvalt_engine");
    const std::string table = copy.schema() + ".\"Pipe\"";
    server->run(
        {"CREATE FUNCTION " + copy.schema() +
             ".keep() RETURNS trigger AS $$ BEGIN IF OLD.\"UNIQUE_ID\" = 40000 THEN RAISE "
             "EXCEPTION 'record 40000 is kept'; END IF; RETURN OLD; END $$ LANGUAGE plpgsql",
         "CREATE TRIGGER keep BEFORE DELETE ON " + table + " FOR EACH ROW EXECUTE FUNCTION " +
             copy.schema() + ".keep()",
         "INSERT INTO " + table +
             " (\"UNIQUE_ID\", \"Tag\") SELECT g, 'T' || g FROM "
             "generate_series(100000, 104999) AS g"});
    const auto db = OpenDatabase(copy.connection());
    const std::string remove = "DELETE FROM pipe WHERE DWG_NAME = \"AREA5.dwg\"";
    // A delete is no query, and a query no action: neither runs.
    EXPECT_EQ(failure([&] { db->openRecordset(remove); }),
              std::pair(engine_errors::kInvalidOperation, std::string("Invalid operation.")));
    EXPECT_EQ(failure([&] { db->execute("SELECT * FROM PIPE"); }),
              std::pair(engine_errors::kSelectNotExecutable,
                        std::string("Cannot execute a select query.")));
    auto rs = db->openRecordset(
        "SELECT Tag, Unique_ID FROM PIPE WHERE UNIQUE_ID >= 100000 ORDER BY UNIQUE_ID DESC");
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

    const auto [number, text] = failure([&] { db->execute(remove); });
    EXPECT_EQ(number, 3146);
    EXPECT_EQ(text, "ODBC--call failed. ERROR: record 40000 is kept;\nError while executing the "
                    "query (SQLSTATE P0001)");

    odbc::Connection other(copy.connection());
    int calls = 0;
    db->setProgress([&] {
        if (++calls == 3)
            other.endTransaction(true);
    });
    // Neither a lock nobody is told of nor one the failed delete left waits for ever.
    other.run("SET idle_in_transaction_session_timeout = '10s'");
    other.run("SET lock_timeout = '5s'");
    for (const bool removing : {false, true}) {
        calls = 0;
        other.setAutocommit(false);
        other.run("LOCK TABLE \"Pipe\" IN ACCESS EXCLUSIVE MODE");
        other.run("DROP TRIGGER IF EXISTS keep ON \"Pipe\"");
        if (removing)
            db->execute(remove);
        else
            EXPECT_EQ(countRecords(*db), 40u);
        EXPECT_EQ(calls, 3);
    }
    EXPECT_EQ(countRecords(*OpenDatabase(copy.connection())), 33u);

    server->run({"DROP TABLE " + table});
    const auto [gone, words] = failure([&] { db->openRecordset("SELECT * FROM PIPE"); });
    EXPECT_EQ(gone, engine_errors::kTableNotFound);
    EXPECT_TRUE(words.starts_with("The database engine cannot find the input table or query. "))
        << words;
}

} // namespace
} // namespace korvalt
