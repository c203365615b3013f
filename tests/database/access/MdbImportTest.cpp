// The reader of Access files: every value of every row arrives exactly, and
// what it cannot trust it refuses with the right number, leaving the target
// database as it was.

#include "database/access/MdbImport.h"

#include "database/EngineError.h"
#include "database/access/MdbRows.h"
#include "support/AccessFiles.h"
#include "support/PipeCsv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace korvalt {

// Values as failures show them (internal: no other test's business).
[[maybe_unused]] static void PrintTo(const Value& v, std::ostream* os) {
    *os << (v.isNull()      ? std::string("Null")
            : v.isInteger() ? "integer " + std::to_string(v.asInteger())
            : v.isReal()    ? "real " + ::testing::PrintToString(v.asReal())
                            : "text \"" + v.asText() + "\"");
}

namespace {

using namespace test_support;
using Rows = std::vector<std::vector<Value>>;

const std::string kFixtures = KORVALT_FIXTURES_DIR;
const std::string kBig = KORVALT_BIG_FIXTURES_DIR;

Rows query(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr), SQLITE_OK) << sql;
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    Rows rows;
    while (raw && sqlite3_step(raw) == SQLITE_ROW) {
        rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            const int type = sqlite3_column_type(raw, i);
            rows.back().push_back(
                type == SQLITE_INTEGER ? Value::integer(sqlite3_column_int64(raw, i))
                : type == SQLITE_FLOAT ? Value::real(sqlite3_column_double(raw, i))
                : type == SQLITE_NULL
                    ? Value::null()
                    : Value::text(reinterpret_cast<const char*>(sqlite3_column_text(raw, i))));
        }
    }
    return rows;
}

Rows tablesOf(sqlite3* db) {
    return query(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
}

std::string writeScratch(const std::string& name, const std::string& bytes) {
    const std::string path =
        ::testing::TempDir() + "/mdbimport-" + std::to_string(::getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

// Where each present value of one column lies in the file, row by row, as
// the reader walks the table.
struct Field {
    std::size_t at = 0;
    int size = 0;
    access::RowId row = 0;
};
std::vector<Field> fieldsAt(const std::string& path, unsigned long tdef, const std::string& name) {
    using namespace access;
    const MdbHandlePtr mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    Source src;
    src.mdb = mdb.get();
    src.path = path;
    src.file = inspectFile(path);
    MdbCatalogEntry entry = makeEntry(mdb.get(), "", tdef);
    const TableDefPtr table = readMdbTableDef(entry);
    unsigned col = 0;
    while (col < table->num_cols && column(table.get(), col)->name != name)
        ++col;
    std::vector<Field> at;
    forEachRow(src, table.get(), [&](const std::vector<MdbField>& fields, RowId row) {
        if (!fields.at(col).is_null)
            at.push_back({mdb->cur_pg * static_cast<std::size_t>(src.file.pageSize) +
                              static_cast<std::size_t>(fields[col].start),
                          fields[col].siz, row});
    });
    return at;
}

TEST(MdbImport, EveryRecordMatchesItsCsvExactly) {
    const struct {
        std::string mdb, csv;
    } files[] = {{kFixtures + "/pipe-small.mdb", kFixtures + "/pipe-small.csv"},
                 {kFixtures + "/pipe-small-v2003.mdb", kFixtures + "/pipe-small.csv"},
                 {kFixtures + "/pipe-small-indexed.mdb", kFixtures + "/pipe-small.csv"},
                 // Rows that grew and moved, memos on pages of their own, deleted rows.
                 {kBig + "/pipe-aged-5k.mdb", kBig + "/pipe-aged-5k.csv"}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.mdb);
        const Imported file = importFile(f.mdb);
        EXPECT_EQ(tablesOf(file.db.get()), Rows{{Value::text("Pipe")}}); // no MSys* tables
        Rows columns;
        for (const std::string& c : pipeCsvColumns())
            columns.push_back({Value::text(c)});
        EXPECT_EQ(query(file.db.get(), "SELECT name FROM pragma_table_info('Pipe')"), columns);
        std::map<std::int64_t, std::vector<Value>> byId;
        for (auto& row : query(file.db.get(), "SELECT * FROM Pipe"))
            byId[row.at(11).asInteger()] = row;
        const Rows expected = loadPipeCsv(f.csv);
        EXPECT_EQ(byId.size(), expected.size());
        for (const auto& row : expected)
            EXPECT_EQ(byId[row.at(11).asInteger()], row) << "UNIQUE_ID " << row.at(11).asInteger();
        // Text compares without regard to case, as in Access.
        EXPECT_EQ(query(file.db.get(), "SELECT COUNT(*) FROM Pipe WHERE Tag = 'p-1'"),
                  f.csv.ends_with("small.csv") ? Rows{{Value::integer(3)}}
                                               : Rows{{Value::integer(0)}});
    }
}

// ASCII text as this file stores it, two bytes a character, in hex.
std::string unitsHex(const std::string& ascii) {
    std::string hex;
    for (const char c : ascii)
        hex += "0123456789ABCDEF"[c >> 4] + std::string(1, "0123456789ABCDEF"[c & 15]) + "00";
    return hex;
}

// pipe-small.mdb with one column's type rewritten in the table definition,
// so that the same stored bytes are read as another Access type.
TEST(MdbImport, EveryColumnTypeConverts) {
    const struct {
        int column;
        char type;
        const char* sqlType;
        const char* sql;
        Rows expected;
    } cases[] = {
        // Day 0 is 1899-12-30; the fraction is the time of day.
        {6,
         0x08,
         "DATETIME",
         "SELECT main_nom FROM Pipe WHERE UNIQUE_ID IN (1, 13) ORDER BY 1",
         {{Value::text("1900-01-01 12:00:00")}, {Value::text("1900-01-03 00:00:00")}}},
        // Yes/no lives in the null bitmap: every record had a value, so Yes (-1).
        {7, 0x01, "INTEGER", "SELECT DISTINCT red_nom FROM Pipe", {{Value::integer(-1)}}},
        // The bytes of the double 120 as a count of ten-thousandths.
        {9,
         0x05,
         "REAL",
         "SELECT LENGTH FROM Pipe WHERE UNIQUE_ID = 1",
         {{Value::real(463814466623818.9568)}}},
        {13, 0x06, "REAL", "SELECT WEIGHT FROM Pipe WHERE UNIQUE_ID = 1", {{Value::real(0)}}},
        {11,
         0x03,
         "INTEGER",
         "SELECT UNIQUE_ID FROM Pipe WHERE Tag = 'P-50' ORDER BY 1",
         {{Value::integer(-25536)}, {Value::integer(34)}}},
        {11,
         0x02,
         "INTEGER",
         "SELECT UNIQUE_ID FROM Pipe WHERE Tag = 'P-50' ORDER BY 1",
         {{Value::integer(34)}, {Value::integer(64)}}},
        {11, 0x04, "INTEGER", "SELECT MAX(UNIQUE_ID) FROM Pipe", {{Value::integer(40000)}}},
        // Too few bytes for the type: Null.
        {6, 0x10, "REAL", "SELECT COUNT(main_nom) FROM Pipe", {{Value::integer(0)}}},
        {9, 0x0F, "TEXT", "SELECT COUNT(LENGTH) FROM Pipe", {{Value::integer(0)}}},
        // Binary and OLE columns keep their stored bytes as they are.
        {8,
         0x09,
         "BLOB",
         "SELECT typeof(Tag), hex(Tag) FROM Pipe WHERE UNIQUE_ID IN (4, 9)",
         {{Value::text("blob"), Value::text(unitsHex("P-2"))},
          {Value::text("null"), Value::text("")}}},
        {14,
         0x0B,
         "BLOB",
         "SELECT typeof(NOTES), hex(NOTES) FROM Pipe WHERE UNIQUE_ID IN (1, 2)",
         {{Value::text("null"), Value::text("")},
          {Value::text("blob"), Value::text(unitsHex("two records share this tag"))}}},
    };
    const std::string original = fileBytes(kFixtures + "/pipe-small.mdb");
    for (const auto& c : cases) {
        SCOPED_TRACE("column " + std::to_string(c.column) + " as type " + std::to_string(c.type));
        std::string bytes = original;
        // The table definition: the page naming the column WEIGHT.
        const std::size_t page = bytes.find(std::string("W\0E\0I\0G\0H\0T\0", 12)) / 4096 * 4096;
        const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[page + i]); };
        const unsigned columns = at(45) | at(46) << 8;
        const unsigned indexes = at(51) | at(52) << 8;
        for (unsigned i = 0; i < columns; ++i) {
            const std::size_t entry = 63 + indexes * 12 + i * 25;
            if (at(entry + 5) == c.column)
                bytes[page + entry] = c.type;
        }
        const Imported file = importFile(writeScratch("retyped.mdb", bytes));
        std::remove(writeScratch("retyped.mdb", "").c_str());
        EXPECT_EQ(query(file.db.get(), "SELECT type FROM pragma_table_info('Pipe') WHERE cid = " +
                                           std::to_string(c.column)),
                  Rows{{Value::text(c.sqlType)}});
        EXPECT_EQ(query(file.db.get(), c.sql), c.expected);
    }
}

// Tables the catalog flags as Access's own (0x80000000) or hidden (2), and
// tables named MSys..., are no part of the copy; other flags do not matter.
TEST(MdbImport, SystemAndHiddenTablesAreLeftOut) {
    const auto ucs2 = [](const std::string& ascii) {
        std::string units;
        for (const char c : ascii)
            units += std::string{c, '\0'};
        return units;
    };
    const std::string path = kFixtures + "/no-pipe.mdb";
    const std::string original = fileBytes(path);
    std::size_t flagsAt = 0;
    std::size_t nameAt = 0;
    const auto flags = fieldsAt(path, 2, "Flags");
    const auto names = fieldsAt(path, 2, "Name");
    ASSERT_EQ(flags.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::size_t found = original.find(ucs2("Valve"), names[i].at);
        if (found < names[i].at + static_cast<std::size_t>(names[i].size)) {
            nameAt = found;
            flagsAt = flags.at(i).at;
        }
    }
    ASSERT_NE(nameAt, 0u);
    const struct {
        std::uint32_t flags;
        const char* name;
        Rows expected;
    } cases[] = {
        {0x80000000u, "Valve", {}},
        {0x00000002u, "Valve", {}},
        {0x00000001u, "Valve", {{Value::text("Valve")}}},
        {0x40000000u, "Valve", {{Value::text("Valve")}}},
        {0, "MSysV", {}},
        {0, "MsysV", {{Value::text("MsysV")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + std::to_string(c.flags));
        std::string bytes = original;
        bytes.replace(nameAt, 10, ucs2(c.name));
        for (int i = 0; i < 4; ++i)
            bytes[flagsAt + static_cast<std::size_t>(i)] = static_cast<char>(c.flags >> (8 * i));
        const Imported file = importFile(writeScratch("flags.mdb", bytes));
        std::remove(writeScratch("flags.mdb", "").c_str());
        EXPECT_EQ(tablesOf(file.db.get()), c.expected);
    }
}

// A memo's header in the row points at its bytes on another page: a
// pointer that leads nowhere is damage, a shorter length gives less text.
TEST(MdbImport, MemoPointersAreCheckedAndFollowedExactly) {
    const std::string path = kBig + "/pipe-aged-5k.mdb";
    const std::string original = fileBytes(path);
    const auto pages = static_cast<std::uint32_t>(original.size() / 4096);
    const Imported before = importFile(path);
    Field memo;
    for (const Field& f : fieldsAt(path, before.table("Pipe").tdefPage, "NOTES")) {
        if (f.size == 12) // the bytes on long-value pages, in a chain of rows
            memo = f;
    }
    ASSERT_NE(memo.at, 0u);
    const std::string select = "SELECT NOTES FROM Pipe WHERE rowid = " + std::to_string(memo.row);
    const std::string text = query(before.db.get(), select).at(0).at(0).asText();
    ASSERT_GT(text.size(), 100u);
    const auto* header = reinterpret_cast<const std::uint8_t*>(original.data() + memo.at);
    const std::uint32_t length = access::get32(header);
    const std::uint32_t pointer = access::get32(header + 4);
    const struct {
        const char* what;
        std::uint32_t length; // with the flags
        std::uint32_t pointer;
        std::string expected; // empty: damage
    } cases[] = {
        {"page 0", length, 0x01, ""},
        {"page just past the end", length, pages << 8, ""},
        {"a row that is not there", length, pointer | 0xFF, ""},
        {"as stored", length, pointer, text},
        // Two bytes a character (this file's text is not compressed).
        {"shorter", (length & 0xC0000000u) | 12, pointer, text.substr(0, 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = original;
        auto* p = reinterpret_cast<std::uint8_t*>(bytes.data() + memo.at);
        access::put32(p, c.length);
        access::put32(p + 4, c.pointer);
        const std::string file = writeScratch("memo.mdb", bytes);
        const std::unique_ptr<const char, int (*)(const char*)> removed(file.c_str(), std::remove);
        try {
            EXPECT_EQ(query(importFile(file).db.get(), select), Rows{{Value::text(c.expected)}});
            EXPECT_FALSE(c.expected.empty()) << "no error";
        } catch (const EngineError& e) {
            EXPECT_TRUE(c.expected.empty()) << e.description();
            EXPECT_EQ(e.number(), engine_errors::kCannotOpen);
            EXPECT_EQ(e.description(), "Cannot open database '" + file +
                                           "'. It may not be a database that your application "
                                           "recognizes, or the file may be corrupt.");
        }
    }
}

// What is no Jet database, or a damaged one, is refused with its number and
// whole message, and leaves no table behind; the target keeps what it had.
TEST(MdbImport, WhatCannotBeReadIsRefusedAndLeavesTheTargetAsItWas) {
    const std::string small = fileBytes(kFixtures + "/pipe-small.mdb");
    const auto changed = [&](const std::function<void(std::string&)>& change) {
        std::string bytes = small;
        change(bytes);
        return bytes;
    };
    std::mt19937 random(20240611);
    std::string noise = small.substr(0, 4096); // a genuine header, then random pages
    for (int i = 0; i < 4096 * 24; ++i)
        noise += static_cast<char>(random() & 0xFF);
    const int unrecognized = engine_errors::kUnrecognizedFormat;
    const int damaged = engine_errors::kCannotOpen;
    const struct {
        const char* name;
        std::string bytes;
        int number; // 0: either
    } cases[] = {
        {"zero-bytes", "", unrecognized},
        {"text", "DWG_NAME,Tag\nAREA1.dwg,P-1\n", unrecognized},
        {"header-only", small.substr(0, 4096), unrecognized},
        {"two-pages", small.substr(0, 8192), unrecognized},
        {"not-whole-pages", small.substr(0, small.size() - 100), unrecognized},
        {"half", small.substr(0, small.size() / 8192 * 4096), damaged},
        {"last-page-cut", small.substr(0, small.size() - 4096), damaged},
        {"wrong-version", changed([](std::string& b) { b[0x14] = 0x05; }), unrecognized},
        {"engine-name", changed([](std::string& b) { b[4] = 'X'; }), unrecognized},
        {"page-type", changed([](std::string& b) { b[0] = 0x01; }), unrecognized},
        // No name Access allows, and one SQLite would be handed cut short.
        {"control-character-in-a-table-name", changed([](std::string& b) {
             for (auto at = b.find(std::string("P\0i\0p\0e\0", 8)); at != std::string::npos;
                  at = b.find(std::string("P\0i\0p\0e\0", 8), at + 1))
                 b[at + 2] = '\x01';
         }),
         unrecognized},
        {"random-pages", noise, 0},
    };
    sqlite3* raw = nullptr;
    sqlite3_open(":memory:", &raw);
    const SqlitePtr db(raw);
    ASSERT_EQ(sqlite3_exec(raw, "CREATE TABLE Kept (x); INSERT INTO Kept VALUES (1)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    const auto refused = [&](const std::string& path, int number, const std::string& message) {
        try {
            MdbImport::importInto(path, raw);
            ADD_FAILURE() << "no error";
        } catch (const EngineError& e) {
            if (number != 0) {
                EXPECT_EQ(e.number(), number);
                EXPECT_EQ(e.description(), message);
            }
        }
        EXPECT_EQ(query(raw, "SELECT * FROM Kept"), Rows{{Value::integer(1)}});
        EXPECT_EQ(tablesOf(raw), Rows{{Value::text("Kept")}});
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = writeScratch(c.name, c.bytes);
        const std::unique_ptr<const char, int (*)(const char*)> removed(path.c_str(), std::remove);
        refused(path, c.number,
                c.number == unrecognized
                    ? "Unrecognized database format '" + path + "'."
                    : "Cannot open database '" + path +
                          "'. It may not be a database that your application recognizes, or "
                          "the file may be corrupt.");
    }
    refused(kFixtures + "/absent.mdb", engine_errors::kFileNotFound,
            "Could not find file '" + kFixtures + "/absent.mdb'.");
    refused(kFixtures, unrecognized, "Unrecognized database format '" + kFixtures + "'.");
    // A table of the file that is there already: nothing of the file stays.
    ASSERT_EQ(sqlite3_exec(raw, "CREATE TABLE Pipe (x)", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_THROW(MdbImport::importInto(kFixtures + "/pipe-small.mdb", raw), EngineError);
    MdbImport::importInto(kFixtures + "/no-pipe.mdb", raw); // still usable
    EXPECT_EQ(tablesOf(raw),
              (Rows{{Value::text("Kept")}, {Value::text("Pipe")}, {Value::text("Valve")}}));
    EXPECT_THROW(MdbImport::importInto(kFixtures + "/pipe-small.mdb", nullptr), EngineError);
}

} // namespace
} // namespace korvalt
