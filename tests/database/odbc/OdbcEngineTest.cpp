#include "database/Database.h"
#include "database/odbc/OdbcConnection.h"
#include "support/EngineCases.h"
#include "support/PgServer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace korvalt {
namespace {

using test_support::errorOf;
using test_support::readField;

std::size_t countRecords(Database& db) {
    return readField(db, "SELECT * FROM PIPE", "UNIQUE_ID").size();
}

// The statements every back end answers alike (none changing data); fields keep type and text.
TEST(OdbcServer, AnswersAsEveryBackEndAndKeepsFieldsWhole) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    // The server trusts every local user: the password is only carried.
    const auto db = OpenDatabase(server->connectionStringWith("PWD={s3cr;et}"));
    EXPECT_EQ(db->path(), server->connectionStringWith("PWD={***}"));
    for (const test_support::EngineCase& c : test_support::engineQueryCases())
        test_support::checkEngineCase(*db, c);
    EXPECT_EQ(countRecords(*db), 40u);
    auto rs = db->openRecordset("SELECT * FROM PIPE WHERE UNIQUE_ID IN (28, 13, 9, 7) ORDER BY "
                                "UNIQUE_ID DESC");
    const int tag = rs->fieldPosition("tag");
    EXPECT_EQ(rs->fieldPosition("Tag "), -1);
    EXPECT_EQ(rs->fieldPosition("LÖNG_DESC"), -1);
    // Letters beyond ASCII unchanged both ways; a number field has no text.
    EXPECT_EQ(rs->textAt(rs->fieldPosition("Long_Desc")),
              std::optional<std::string_view>("Ventil Ø50 Rückschlag"));
    EXPECT_EQ(rs->textAt(rs->fieldPosition("UNIQUE_ID")), std::nullopt);
    EXPECT_EQ(errorOf([&] { rs->fields("NoSuchField"); }),
              "3265 Item not found in this collection.");
    // Per record: the count so far, the tag as text and value (Null is no ''), numbers by kind.
    std::vector<std::tuple<int, std::string, Value, Value, Value>> seen;
    for (; !rs->isEof(); rs->moveNext())
        seen.emplace_back(rs->recordCount(), rs->textAt(tag).value_or("<Null>"), rs->valueAt(tag),
                          rs->fields("UNIQUE_ID"), rs->fields("main_nom"));
    using V = Value;
    EXPECT_EQ(seen, (decltype(seen){{1, "RV-1", V::text("RV-1"), V::integer(28), V::real(2)},
                                    {2, "P-20", V::text("P-20"), V::integer(13), V::real(2.5)},
                                    {3, "<Null>", V::null(), V::integer(9), V::real(4)},
                                    {4, "", V::text(""), V::integer(7), V::real(4)}}));
    EXPECT_EQ(rs->recordCount(), 4);
    EXPECT_EQ(errorOf([&] { rs->moveNext(); }), "3021 No current record.");
    EXPECT_EQ(errorOf([&] { rs->valueAt(tag); }), "3021 No current record.");
    rs->close();
    EXPECT_EQ(errorOf([&] { rs->textAt(tag); }), "3021 No current record.");
    EXPECT_EQ(errorOf([&] { rs->moveNext(); }), "3420 Object invalid or no longer set.");
}

// An address naming nothing, a server or database out of reach: told apart, with no password.
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
    test_support::PgServer(noIcu).run({"DROP COLLATION pg_catalog.\"und-x-icu\""});
    const std::string invalid = "' isn't a valid data source. ";
    const std::string reach = "3024 Could not reach the database server of '";
    const struct {
        std::string address, before, after, state; // before and after the hidden address
    } cases[] = {
        {"DSN=KorvaltNoSuchSource", "3044 '", invalid, "IM002"},
        {"DRIVER={Korvalt No Such Driver};SERVER=x", "3044 '", invalid, "(SQLSTATE "},
        {unreachable, reach, "'. ", "08001"},
        {noDatabase, reach, "'. ", "(SQLSTATE "},
        {noIcu, "3000 The PostgreSQL server of '",
         "' has no ICU collations (it was built without ICU); Korvalt needs them to compare text "
         "without regard to letter case.",
         ""},
    };
    for (const auto& c : cases) {
        const std::string error = errorOf([&] { OpenDatabase(c.address + secrets); });
        EXPECT_TRUE(error.starts_with(c.before + c.address + hidden + c.after)) << error;
        EXPECT_NE(error.find(c.state), std::string::npos) << error;
        EXPECT_EQ(error.find("s3cr"), std::string::npos) << error;
    }
    server->run({"DROP DATABASE " + plain});
}

// A delete is all or nothing; large results arrive whole and in order, one left unread blocks
// nothing; waits for another user are reported; a table gone is a missing table.
TEST(OdbcServer, ChangesAreAllOrNothingAndResultsArriveWhole) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const test_support::PrivateCopy copy(*server, "korvalt_engine");
    server->run(
        {"SET search_path TO " + copy.schema(),
         R"(CREATE FUNCTION keep() RETURNS trigger AS $$ BEGIN IF OLD."UNIQUE_ID" = 40000 )"
         R"(THEN RAISE EXCEPTION 'record 40000 is kept'; END IF; RETURN OLD; END $$ )"
         "LANGUAGE plpgsql",
         R"(CREATE TRIGGER keep BEFORE DELETE ON "Pipe" FOR EACH ROW EXECUTE FUNCTION keep())",
         R"(INSERT INTO "Pipe" ("UNIQUE_ID", "Tag") SELECT g, 'T' || g FROM )"
         "generate_series(100000, 104999) AS g"});
    const auto db = OpenDatabase(copy.connection());
    const std::string remove = "DELETE FROM pipe WHERE DWG_NAME = \"AREA5.dwg\"";
    // A delete is no query, and a query no action: neither runs.
    EXPECT_EQ(errorOf([&] { db->openRecordset(remove); }), "3219 Invalid operation.");
    EXPECT_EQ(errorOf([&] { db->execute("SELECT * FROM PIPE"); }),
              "3065 Cannot execute a select query.");
    std::vector<std::string> tags;
    for (int id = 104999; id >= 100000; --id)
        tags.push_back("T" + std::to_string(id));
    const std::string large =
        "SELECT Tag FROM PIPE WHERE UNIQUE_ID >= 100000 ORDER BY UNIQUE_ID DESC";
    EXPECT_EQ(readField(*db, large, "tag"), tags);
    auto halfRead = db->openRecordset("SELECT * FROM PIPE ORDER BY UNIQUE_ID");
    halfRead->moveNext();
    auto unread = db->openRecordset("SELECT * FROM PIPE");
    halfRead->close();
    db->execute("DELETE FROM PIPE WHERE UNIQUE_ID >= 100000");
    unread.reset();

    EXPECT_EQ(errorOf([&] { db->execute(remove); }),
              "3146 ODBC--call failed. ERROR: record 40000 is kept;\nError while executing the "
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

    server->run({"DROP TABLE " + copy.schema() + ".\"Pipe\""});
    const std::string gone = errorOf([&] { db->openRecordset("SELECT * FROM PIPE"); });
    EXPECT_TRUE(gone.starts_with("3078 The database engine cannot find the input table or query. "))
        << gone;
}

} // namespace
} // namespace korvalt
