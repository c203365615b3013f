#include "PipeCsvReader.h"
#include "SampleDatabaseBuilder.h"
#include "ServerLoader.h"

#include "database/EngineError.h"
#include "database/PipeSchema.h"
#include "support/PgServer.h"
#include "support/PipeCsv.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace korvalt {
namespace {

using Records = std::vector<std::vector<Value>>;
using ::testing::ThrowsMessage;

// Every record of a database, its Pipe values in table order.
Records stored(const std::string& path) {
    Records out;
    const auto db = OpenDatabase(path);
    for (auto rs = db->openRecordset("SELECT * FROM Pipe ORDER BY UNIQUE_ID"); !rs->isEof();
         rs->moveNext()) {
        out.emplace_back();
        for (const char* column : pipe_schema::kColumns)
            out.back().push_back(rs->fields(column));
    }
    return out;
}

// Header in another order and case, with a column the table does not have.
const std::string kHeader = "unique_id,dwg_name,LONG_DESC,Line_Num,Spec_File,DB_CODE,ALPHA_SIZE,"
                            "main_nom,red_nom,TAG,LENGTH,SHORT_DESC,NOTES\n";

// CSV as spreadsheets write it: a byte-order mark, CR LF, empty lines,
// quoted fields holding commas, quotes and line breaks.
TEST(SampleDatabaseBuilder, StoresNullEmptyTextAndNumbersApartOrRefusesWholly) {
    const QTemporaryDir folder;
    const std::string db = folder.filePath("pipe.db").toStdString();
    const auto build = [&](const std::string& csv) {
        return SampleDatabaseBuilder::build(PipeCsvReader::parse(csv), db);
    };
    EXPECT_EQ(build(kHeader + "9,,,,,,,,,,,,\n8,,,,,,,,,,,,\n"), 2u);
    EXPECT_EQ(
        build("\xEF\xBB\xBF" + kHeader +
              "1,\"A.dwg\",\"A,\r\nB\",\"4\"\"-P\",,\"\",   ,\"4\",-2.25e1,Ø\r,0,\"\",x\r\n\r\n\n" +
              "9,,,,,,,,,,,,"),
        2u);
    Records expected = {{Value::text("A.dwg"), Value::text("A,\r\nB"), Value::text("4\"-P"),
                         Value::null(), Value::text(""), Value::text("   "), Value::real(4),
                         Value::real(-22.5), Value::text("Ø\r"), Value::real(0), Value::text(""),
                         Value::integer(1)},
                        std::vector<Value>(11, Value::null())};
    expected.back().push_back(Value::integer(9));
    EXPECT_EQ(stored(db), expected);

    const std::pair<std::string, std::string> refused[] = {
        {"DWG_NAME,Tag\n", "header lacks column LONG_DESC"},
        {kHeader.substr(0, kHeader.size() - 1) + ",tag\n", "header names column Tag twice"},
        {kHeader + "1,,,,,,,,,,,\n", "line 2: 12 fields, header has 13"},
        {kHeader + "1,,,,,,,nan,,,,,\n", "line 2, column main_nom: not a number: \"nan\""},
        {kHeader + "2,\"a\nb\",,,,,,,,,,,\n\n1.5,,,,,,,,,,,,\n",
         "line 5, column UNIQUE_ID: not a whole number: \"1.5\""},
        {"a,b\nx,4\"-P\n", "line 2: quote inside an unquoted field"},
        {"a\n\"closed\"after\n", "line 2: text after a closing quote"},
        {"a\nb\n\"never\nclosed\n", "line 3: quoted field not closed"},
        {"", "no header row"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.first);
        EXPECT_THAT([&] { build(c.first); }, ThrowsMessage<std::runtime_error>(c.second));
        EXPECT_EQ(stored(db), expected);
    }
}

// Texts that mean something to SQL, Null and empty text apart, reals that need
// every digit; enough records to cross the statements' boundaries.
Records awkwardRows(std::size_t count) {
    const std::vector<std::string> texts = {
        "O'Brien ''", "C:\\dir\\ \\' \\\\", "100%_done [x]",  "Ä ö ñ 漢字 😀",    "",
        "   ",        "$1 $$ $tag$ ?",      "\"quoted\" ;--", "line\nbreak\ttab"};
    const std::vector<double> reals = {0.1, 1e-300, 1.7976931348623157e308, -123456.789, 2.0 / 3};
    Records rows(count);
    for (std::size_t r = 0; r < count; ++r) {
        for (std::size_t c = 0; c < 15; ++c) {
            const std::size_t k = r * 15 + c;
            rows[r].push_back(c == 11 ? Value::integer(static_cast<std::int64_t>(r) - 3)
                              : c == 6 || c == 7 || c == 9 || c == 13
                                  ? (k % 7 == 0 ? Value::null() : Value::real(reals[k % 5]))
                                  : (k % 11 == 0 ? Value::null() : Value::text(texts[k % 9])));
        }
    }
    return rows;
}

// Loads on the server keep every value, refuse a Pipe table in the way
// unless replacing it, and leave the server as it was when they fail.
TEST(ServerLoader, CopiesEveryValueOrLeavesTheServerAsItWas) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const test_support::PrivateCopy copy(*server, "korvalt_loader");
    const std::string address = copy.connection();
    const QTemporaryDir folder;
    const std::string path = folder.filePath("source.db").toStdString();
    const auto source = [&](const Records& rows) {
        test_support::writePipeSqlite(path, rows);
        return OpenDatabase(path);
    };
    // The old table, in another letter case, is refused and stays.
    server->run({"SET search_path TO " + copy.schema(), "DROP TABLE \"Pipe\"",
                 "CREATE TABLE pipe (x INTEGER)", "INSERT INTO pipe VALUES (7)"});
    const auto old = [&]() -> Value {
        return OpenDatabase(address)->openRecordset("SELECT x FROM Pipe")->fields("x");
    };
    const Records awkward = awkwardRows(1203);
    EXPECT_THAT([&] { loadIntoServer(*source(awkward), address); },
                ThrowsMessage<std::runtime_error>(
                    "Table 'pipe' already exists on '" + address +
                    "' and is left as it is; ask for it to be replaced (--replace) to load the "
                    "records in its place."));
    EXPECT_EQ(old(), Value::integer(7));

    // Text the server takes for no number, after a statement's worth of records.
    Records bad = awkwardRows(700);
    bad[650][6] = Value::text("not a number");
    ServerLoadOptions options;
    options.replace = true;
    EXPECT_THROW(loadIntoServer(*source(bad), address, options), EngineError);
    EXPECT_EQ(old(), Value::integer(7));

    std::vector<std::size_t> progress;
    options.progress = [&progress](std::size_t sent) { progress.push_back(sent); };
    EXPECT_EQ(loadIntoServer(*source(awkward), address, options), 1203u);
    EXPECT_EQ(progress, (std::vector<std::size_t>{500, 1000, 1203}));
    EXPECT_EQ(stored(address), stored(path));
}

} // namespace
} // namespace korvalt
