#include "database/access/MdbImport.h"

#include "database/EngineError.h"
#include "database/Value.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace korvalt {
namespace {

namespace fs = std::filesystem;

const std::string kFixtures = KORVALT_FIXTURES_DIR;

const std::vector<std::string> kPipeColumns = {"DWG_NAME", "LONG_DESC",  "Line_Num",   "Spec_File",
                                               "DB_CODE",  "ALPHA_SIZE", "main_nom",   "red_nom",
                                               "Tag",      "LENGTH",     "SHORT_DESC", "UNIQUE_ID",
                                               "COMP_ID",  "WEIGHT",     "NOTES"};
const std::set<std::string> kRealColumns = {"main_nom", "red_nom", "LENGTH", "WEIGHT"};

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using SqlitePtr = std::unique_ptr<sqlite3, SqliteCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

SqlitePtr openMemory() {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    return SqlitePtr(db);
}

Value columnValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return Value::integer(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
        return Value::real(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT:
        return Value::text(std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                       static_cast<std::size_t>(sqlite3_column_bytes(stmt, i))));
    default:
        return Value::null();
    }
}

// Runs a query and returns all rows as values.
std::vector<std::vector<Value>> query(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db);
    StatementPtr stmt(raw);
    std::vector<std::vector<Value>> rows;
    while (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW) {
        std::vector<Value> row;
        for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i)
            row.push_back(columnValue(stmt.get(), i));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> tableNames(sqlite3* db) {
    std::vector<std::string> names;
    for (const auto& row : query(db, "SELECT name FROM sqlite_master WHERE type = 'table' "
                                     "ORDER BY name"))
        names.push_back(row[0].asText());
    return names;
}

std::vector<std::string> columnNames(sqlite3* db, const std::string& table) {
    std::vector<std::string> names;
    for (const auto& row : query(db, "SELECT name FROM pragma_table_info('" + table + "')"))
        names.push_back(row[0].asText());
    return names;
}

// The fixture CSV, parsed on its own terms: quoted fields are text (with ""
// standing for a quote), an unquoted empty field is Null, other unquoted
// fields are numbers, typed by their column.
std::vector<std::vector<Value>> loadCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<Value>> rows;
    std::vector<std::string> header;
    std::vector<Value> row;
    std::size_t i = 0;
    bool headerDone = false;
    while (i < data.size()) {
        std::string field;
        bool quoted = false;
        if (data[i] == '"') {
            quoted = true;
            ++i;
            while (i < data.size()) {
                if (data[i] == '"' && i + 1 < data.size() && data[i + 1] == '"') {
                    field += '"';
                    i += 2;
                } else if (data[i] == '"') {
                    ++i;
                    break;
                } else {
                    field += data[i++];
                }
            }
        } else {
            while (i < data.size() && data[i] != ',' && data[i] != '\n' && data[i] != '\r')
                field += data[i++];
        }
        if (!headerDone) {
            header.push_back(field);
        } else {
            const std::string& name = header.at(row.size());
            if (quoted)
                row.push_back(Value::text(field));
            else if (field.empty())
                row.push_back(Value::null());
            else if (kRealColumns.count(name))
                row.push_back(Value::real(std::stod(field)));
            else
                row.push_back(Value::integer(std::stoll(field)));
        }
        if (i < data.size() && data[i] == '\r')
            ++i;
        if (i >= data.size() || data[i] == '\n') {
            if (headerDone && !row.empty())
                rows.push_back(std::move(row));
            row.clear();
            headerDone = true;
            ++i;
        } else {
            ++i; // the comma
        }
    }
    EXPECT_EQ(header, kPipeColumns);
    return rows;
}

std::string describe(const Value& v) {
    if (v.isNull())
        return "Null";
    if (v.isInteger())
        return "integer " + std::to_string(v.asInteger());
    if (v.isReal()) {
        std::ostringstream out;
        out.precision(17);
        out << "real " << v.asReal();
        return out.str();
    }
    return "text \"" + v.asText() + "\"";
}

// A scratch file that is removed again.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name)
        : m_path((fs::path(::testing::TempDir()) /
                  ("mdbimport-" + std::to_string(::getpid()) + "-" + name))
                     .string()) {}
    ~ScratchFile() {
        std::error_code ec;
        fs::remove(m_path, ec);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return m_path; }
    void write(const std::string& bytes) const {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::string m_path;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Imports `path` into a fresh database and expects EngineError, leaving no
// table behind. Returns the error number.
int expectRejected(const std::string& path) {
    SqlitePtr db = openMemory();
    try {
        MdbImport::importInto(path, db.get());
    } catch (const EngineError& e) {
        EXPECT_FALSE(e.description().empty());
        EXPECT_TRUE(tableNames(db.get()).empty()) << path;
        return e.number();
    }
    ADD_FAILURE() << "no error for " << path;
    return 0;
}

// Every record of the file's Pipe table equals its line in `csv`.
void expectRecordsOfCsv(const std::string& mdb, const std::string& csv, std::size_t records) {
    const auto expected = loadCsv(csv);
    ASSERT_EQ(expected.size(), records);
    SqlitePtr db = openMemory();
    MdbImport::importInto(mdb, db.get());

    EXPECT_EQ(tableNames(db.get()), std::vector<std::string>{"Pipe"}); // no MSys* tables
    ASSERT_EQ(columnNames(db.get(), "Pipe"), kPipeColumns);

    std::map<std::int64_t, std::vector<Value>> actual;
    for (auto& row : query(db.get(), "SELECT * FROM Pipe")) {
        ASSERT_TRUE(row[11].isInteger()) << describe(row[11]);
        actual[row[11].asInteger()] = row;
    }
    ASSERT_EQ(actual.size(), expected.size());
    for (const auto& want : expected) {
        const std::int64_t id = want[11].asInteger();
        ASSERT_TRUE(actual.count(id)) << "UNIQUE_ID " << id;
        const auto& got = actual[id];
        for (std::size_t c = 0; c < kPipeColumns.size(); ++c)
            EXPECT_EQ(got[c], want[c]) << "UNIQUE_ID " << id << ", " << kPipeColumns[c] << ": got "
                                       << describe(got[c]) << ", want " << describe(want[c]);
    }
}

class MdbImportPipeSmall : public ::testing::TestWithParam<const char*> {};

TEST_P(MdbImportPipeSmall, EveryRecordMatchesTheCsvExactly) {
    expectRecordsOfCsv(kFixtures + "/" + GetParam(), kFixtures + "/pipe-small.csv", 40);
}

// Years of editing: rows that grew and moved to other pages, long memos on
// pages of their own, deleted rows between live ones.
TEST(MdbImport, AgedFileMatchesItsCsvExactly) {
    const std::string dir = KORVALT_BIG_FIXTURES_DIR;
    expectRecordsOfCsv(dir + "/pipe-aged-5k.mdb", dir + "/pipe-aged-5k.csv", 4546);
}

TEST_P(MdbImportPipeSmall, TextIgnoresCaseAndNumbersStayNumbers) {
    SqlitePtr db = openMemory();
    MdbImport::importInto(kFixtures + "/" + GetParam(), db.get());
    // P-1 twice and p-1 once; the numbers stay numbers for ordering.
    EXPECT_EQ(query(db.get(), "SELECT COUNT(*) FROM Pipe WHERE Tag = 'p-1'")[0][0],
              Value::integer(3));
    EXPECT_EQ(query(db.get(), "SELECT MAX(UNIQUE_ID), MAX(LENGTH) FROM Pipe")[0],
              (std::vector<Value>{Value::integer(40000), Value::real(6000)}));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MdbImportPipeSmall,
                         ::testing::Values("pipe-small.mdb", "pipe-small-v2003.mdb",
                                           "pipe-small-indexed.mdb"));

TEST(MdbImport, ExpectedDataKeepsNullAndEmptyApart) {
    // Guards the comparison above: the CSV parse must see the differences the
    // import has to reproduce.
    std::map<std::int64_t, std::vector<Value>> byId;
    for (auto& row : loadCsv(kFixtures + "/pipe-small.csv"))
        byId[row[11].asInteger()] = row;
    EXPECT_EQ(byId[7][8], Value::text(""));
    EXPECT_EQ(byId[8][8], Value::text("   "));
    EXPECT_TRUE(byId[9][8].isNull());
    EXPECT_TRUE(byId[12][2].isNull());
    EXPECT_EQ(byId[28][10], Value::text("R\xC3\xBC"
                                        "ckschlagventil"));
}

// pipe-small.mdb with the types of three fixed-size columns rewritten in the
// table definition, so the same stored bytes are read as other Access types:
// main_nom (double) as a date, red_nom as yes/no, LENGTH (double) as currency.
std::string withRetypedColumns() {
    std::string bytes = readFile(kFixtures + "/pipe-small.mdb");
    const std::string weight("W\0E\0I\0G\0H\0T\0", 12); // a column name, as stored
    for (std::size_t page = 0; page + 4096 <= bytes.size(); page += 4096) {
        if (bytes[page] != 0x02 || bytes.substr(page, 4096).find(weight) == std::string::npos)
            continue;
        const auto byteAt = [&](std::size_t at) {
            return static_cast<unsigned>(static_cast<unsigned char>(bytes[page + at]));
        };
        const unsigned columns = byteAt(45) | byteAt(46) << 8;
        const unsigned indexes = byteAt(51) | byteAt(52) << 8;
        const std::map<unsigned, char> retype = {{6, 0x08}, {7, 0x01}, {9, 0x05}};
        for (unsigned i = 0; i < columns; ++i) {
            const std::size_t entry = 63 + indexes * 12 + i * 25;
            const auto it = retype.find(byteAt(entry + 5)); // by column number
            if (it != retype.end())
                bytes[page + entry] = it->second;
        }
        return bytes;
    }
    ADD_FAILURE() << "no table definition found";
    return bytes;
}

TEST(MdbImport, DatesYesNoAndCurrencyConvert) {
    ScratchFile file("retyped.mdb");
    file.write(withRetypedColumns());
    SqlitePtr db = openMemory();
    MdbImport::importInto(file.path(), db.get());

    EXPECT_EQ(query(db.get(), "SELECT type FROM pragma_table_info('Pipe') WHERE cid IN (6, 7, 9)"),
              (std::vector<std::vector<Value>>{
                  {Value::text("DATETIME")}, {Value::text("INTEGER")}, {Value::text("REAL")}}));
    // Day 0 is 1899-12-30; the fraction is the time of day.
    const std::map<std::int64_t, std::string> dates = {{1, "1900-01-03 00:00:00"},
                                                       {13, "1900-01-01 12:00:00"},
                                                       {18, "1899-12-30 18:00:00"},
                                                       {29, "1899-12-30 12:00:00"},
                                                       {20, "1900-01-11 00:00:00"}};
    for (const auto& [id, date] : dates)
        EXPECT_EQ(query(db.get(),
                        "SELECT main_nom FROM Pipe WHERE UNIQUE_ID = " + std::to_string(id))[0][0],
                  Value::text(date))
            << "UNIQUE_ID " << id;
    // Yes/no sits in the null bitmap: every record had a red_nom, so all are
    // Yes, which Access spells -1.
    EXPECT_EQ(query(db.get(), "SELECT DISTINCT red_nom FROM Pipe"),
              (std::vector<std::vector<Value>>{{Value::integer(-1)}}));
    // Currency is a 64-bit count of ten-thousandths: the bytes of the double
    // 120 read that way are 4638144666238189568.
    const auto money = [&](int id) {
        return query(db.get(),
                     "SELECT LENGTH FROM Pipe WHERE UNIQUE_ID = " + std::to_string(id))[0][0];
    };
    EXPECT_EQ(money(1), Value::real(463814466623818.9568));
    EXPECT_EQ(money(13), Value::real(464301770177249.28));
    EXPECT_EQ(money(30), Value::real(465200950786444.4928));
    EXPECT_EQ(money(2), Value::real(0));
}

TEST(MdbImport, RowsMarkedDeletedAreLeftOut) {
    // Marks the first row of the first Pipe data page deleted (bit 15 of its
    // offset, as Access does before the file is compacted).
    std::string bytes = readFile(kFixtures + "/pipe-small.mdb");
    const auto word = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    bool marked = false;
    for (std::size_t page = 4096; page + 4096 <= bytes.size() && !marked; page += 4096) {
        // Data page (type 1) with rows, owned by the Pipe table (definition on page 24).
        if (bytes[page] == 0x01 && word(page + 4) == 24 && word(page + 12) > 0) {
            bytes[page + 15] = static_cast<char>(bytes[page + 15] | 0x80);
            marked = true;
        }
    }
    ASSERT_TRUE(marked);
    // Access also lowers the record count of the table definition.
    const std::size_t rowCount = 24 * 4096 + 16;
    ASSERT_EQ(word(rowCount), 40u);
    bytes[rowCount] = static_cast<char>(39);
    ScratchFile file("deleted-row.mdb");
    file.write(bytes);
    SqlitePtr db = openMemory();
    MdbImport::importInto(file.path(), db.get());

    std::set<std::int64_t> ids;
    for (const auto& row : query(db.get(), "SELECT UNIQUE_ID FROM Pipe"))
        ids.insert(row[0].asInteger());
    std::set<std::int64_t> all;
    for (const auto& row : loadCsv(kFixtures + "/pipe-small.csv"))
        all.insert(row[11].asInteger());
    EXPECT_EQ(ids.size(), all.size() - 1);
    EXPECT_TRUE(std::includes(all.begin(), all.end(), ids.begin(), ids.end()));
}

TEST(MdbImport, EmptyTableKeepsItsColumns) {
    SqlitePtr db = openMemory();
    MdbImport::importInto(kFixtures + "/pipe-empty.mdb", db.get());
    EXPECT_EQ(tableNames(db.get()), std::vector<std::string>{"Pipe"});
    EXPECT_EQ(columnNames(db.get(), "Pipe"), kPipeColumns);
    EXPECT_EQ(query(db.get(), "SELECT COUNT(*) FROM Pipe")[0][0], Value::integer(0));
}

TEST(MdbImport, ReadsWhicheverTablesTheFileHolds) {
    SqlitePtr db = openMemory();
    MdbImport::importInto(kFixtures + "/no-pipe.mdb", db.get());
    EXPECT_EQ(tableNames(db.get()), std::vector<std::string>{"Valve"});
    EXPECT_EQ(query(db.get(), "SELECT TAG, SIZE FROM Valve ORDER BY TAG"),
              (std::vector<std::vector<Value>>{{Value::text("V-1"), Value::real(2)},
                                               {Value::text("V-2"), Value::real(4)}}));
}

TEST(MdbImport, FailureLeavesTheTargetAsItWas) {
    SqlitePtr db = openMemory();
    ASSERT_EQ(sqlite3_exec(db.get(), "CREATE TABLE Pipe (x); INSERT INTO Pipe VALUES (1)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    EXPECT_THROW(MdbImport::importInto(kFixtures + "/pipe-small.mdb", db.get()), EngineError);
    EXPECT_EQ(query(db.get(), "SELECT * FROM Pipe"),
              (std::vector<std::vector<Value>>{{Value::integer(1)}}));
    // Still usable for a file that fits.
    MdbImport::importInto(kFixtures + "/no-pipe.mdb", db.get());
    EXPECT_EQ(tableNames(db.get()), (std::vector<std::string>{"Pipe", "Valve"}));
}

TEST(MdbImport, MissingFileIsFileNotFound) {
    EXPECT_EQ(expectRejected(kFixtures + "/no-such-file.mdb"), engine_errors::kFileNotFound);
}

TEST(MdbImport, FilesThatAreNoJetDatabaseAreUnrecognized) {
    const std::string small = readFile(kFixtures + "/pipe-small.mdb");
    ASSERT_EQ(small.size() % 4096, 0u);
    std::string wrongVersion = small;
    wrongVersion[0x14] = 0x05; // a version without a Jet page layout
    std::string oddSize = small;
    oddSize.resize(small.size() - 100);
    // A control character in the catalog's name of a table: no name Access
    // allows, and one SQLite would be handed cut short.
    std::string controlInName = small;
    for (auto at = controlInName.find(std::string("P\0i\0p\0e\0", 8)); at != std::string::npos;
         at = controlInName.find(std::string("P\0i\0p\0e\0", 8), at + 1))
        controlInName[at + 2] = '\x01';

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"zero-bytes", ""},
        {"text", "DWG_NAME,Tag\nAREA1.dwg,P-1\n"},
        {"header-only", small.substr(0, 4096)},
        {"two-pages", small.substr(0, 8192)},
        {"wrong-version", wrongVersion},
        {"not-whole-pages", oddSize},
        {"control-character-in-a-table-name", controlInName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFile file(c.name);
        file.write(c.bytes);
        EXPECT_EQ(expectRejected(file.path()), engine_errors::kUnrecognizedFormat);
    }
    EXPECT_EQ(expectRejected(kFixtures), engine_errors::kUnrecognizedFormat); // a directory
}

TEST(MdbImport, TruncatedFilesRaiseAnError) {
    const std::string small = readFile(kFixtures + "/pipe-small.mdb");
    const std::size_t pages = small.size() / 4096;
    for (std::size_t keep : {std::size_t{3}, std::size_t{4}, pages / 2, pages - 1}) {
        SCOPED_TRACE("pages kept: " + std::to_string(keep));
        ScratchFile file("truncated-" + std::to_string(keep));
        file.write(small.substr(0, keep * 4096));
        const int number = expectRejected(file.path());
        EXPECT_TRUE(number == engine_errors::kUnrecognizedFormat || number == 3049) << number;
    }
}

TEST(MdbImport, RandomPagesBehindAJetHeaderRaiseAnError) {
    const std::string small = readFile(kFixtures + "/pipe-small.mdb");
    std::mt19937 random(20240611);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string bytes = small.substr(0, 4096); // a genuine header page
        for (int i = 0; i < 4096 * 24; ++i)
            bytes += static_cast<char>(random() & 0xFF);
        ScratchFile file("random-" + std::to_string(round));
        file.write(bytes);
        expectRejected(file.path());
    }
}

TEST(MdbImport, DamagedBytesNeverCrash) {
    // Bytes overwritten all over a good file: the import may still succeed
    // or raise EngineError, but must come back either way.
    const std::string small = readFile(kFixtures + "/pipe-small.mdb");
    std::mt19937 random(7);
    int rejected = 0;
    for (int round = 0; round < 60; ++round) {
        std::string bytes = small;
        for (int i = 0; i < 40; ++i) {
            const std::size_t at = 4096 + random() % (bytes.size() - 4096);
            bytes[at] = static_cast<char>(random() & 0xFF);
        }
        ScratchFile file("damaged-" + std::to_string(round));
        file.write(bytes);
        SqlitePtr db = openMemory();
        try {
            MdbImport::importInto(file.path(), db.get());
            EXPECT_EQ(columnNames(db.get(), "Pipe"), kPipeColumns) << "round " << round;
        } catch (const EngineError&) {
            ++rejected;
            EXPECT_TRUE(tableNames(db.get()).empty()) << "round " << round;
        }
    }
    RecordProperty("rejected", rejected);
}

TEST(MdbImport, LargeFileImportsCompletely) {
    const std::string path = std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-100k.mdb";
    SqlitePtr db = openMemory();
    const auto start = std::chrono::steady_clock::now();
    MdbImport::importInto(path, db.get());
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    RecordProperty("import_ms", static_cast<int>(ms));
    std::cout << "pipe-100k.mdb imported in " << ms << " ms\n";
    EXPECT_EQ(query(db.get(), "SELECT COUNT(*), COUNT(DISTINCT UNIQUE_ID) FROM Pipe")[0],
              (std::vector<Value>{Value::integer(100000), Value::integer(100000)}));
    // Tags lacking come in all three forms.
    EXPECT_EQ(query(db.get(), "SELECT COUNT(*) > 0 FROM Pipe WHERE Tag IS NULL")[0][0],
              Value::integer(1));
    EXPECT_EQ(query(db.get(), "SELECT COUNT(*) > 0 FROM Pipe WHERE Tag = ''")[0][0],
              Value::integer(1));
    EXPECT_EQ(
        query(db.get(), "SELECT COUNT(*) > 0 FROM Pipe WHERE Tag <> '' AND TRIM(Tag) = ''")[0][0],
        Value::integer(1));
}

} // namespace
} // namespace korvalt
