// Every value arrives exactly; what cannot be trusted is refused, the target left as it was.

#include "database/access/MdbImport.h"

#include "database/access/MdbRows.h"
#include "support/AccessFiles.h"
#include "support/EngineCases.h"
#include "support/PipeCsv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace korvalt {
namespace {

using namespace test_support;
using V = Value;
using Rows = std::vector<std::vector<Value>>;

const std::string kFixtures = KORVALT_FIXTURES_DIR;
const std::string kBig = KORVALT_BIG_FIXTURES_DIR;

// Each field exactly as stored: text and blobs byte for byte.
Rows query(sqlite3* db, const std::string& sql) {
    Rows rows;
    eachRow(db, sql, [&](sqlite3_stmt* s) {
        rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
            const int type = sqlite3_column_type(s, i);
            const auto bytes = [&] {
                const auto* at = static_cast<const char*>(sqlite3_column_blob(s, i));
                return std::string(at, at + sqlite3_column_bytes(s, i));
            };
            rows.back().push_back(type == SQLITE_INTEGER ? V::integer(sqlite3_column_int64(s, i))
                                  : type == SQLITE_FLOAT ? V::real(sqlite3_column_double(s, i))
                                  : type == SQLITE_NULL  ? V::null()
                                                         : V::text(bytes()));
        }
    });
    return rows;
}

Rows tablesOf(sqlite3* db) {
    return query(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
}

std::string ucs2(const std::string& ascii) {
    std::string units;
    for (const char c : ascii)
        units += std::string{c, '\0'};
    return units;
}

std::string scratch() {
    return ::testing::TempDir() + "/mdbimport-" + std::to_string(::getpid()) + ".mdb";
}

// `bytes` read as a file; the file is gone again afterwards.
Imported importBytes(const std::string& bytes) {
    const std::string path = scratch();
    writeFile(path, bytes);
    const std::unique_ptr<const char, int (*)(const char*)> removed(path.c_str(), std::remove);
    return importFile(path);
}

std::string cannotOpen(const std::string& path) {
    return "3049 Cannot open database '" + path +
           "'. It may not be a database that your application recognizes, or the file may be "
           "corrupt.";
}

// Where each present value of one column lies in the file, as the reader walks the table.
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

TEST(MdbImport, EveryRecordMatchesItsCsvAndEveryStatementItsAnswer) {
    const std::string small = kFixtures + "/pipe-small.csv";
    const struct {
        std::string mdb, csv;
    } files[] = {{kFixtures + "/pipe-small.mdb", small},
                 {kFixtures + "/pipe-small-v2003.mdb", small},
                 {kFixtures + "/pipe-small-indexed.mdb", small},
                 // Rows that grew and moved, memos on pages of their own, deleted rows.
                 {kBig + "/pipe-aged-5k.mdb", kBig + "/pipe-aged-5k.csv"}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.mdb);
        const Imported file = importFile(f.mdb);
        EXPECT_EQ(tablesOf(file.db.get()), Rows{{V::text("Pipe")}}); // no MSys* tables
        Rows columns;
        for (const std::string& c : pipeCsvColumns())
            columns.push_back({V::text(c)});
        EXPECT_EQ(query(file.db.get(), "SELECT name FROM pragma_table_info('Pipe')"), columns);
        Rows expected = loadPipeCsv(f.csv);
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return a.at(11).asInteger() < b.at(11).asInteger();
        });
        EXPECT_TRUE(query(file.db.get(), "SELECT * FROM Pipe ORDER BY UNIQUE_ID") == expected);
        if (f.csv != small)
            continue;
        // Text compares without regard to case; every statement answers as on SQLite.
        EXPECT_EQ(query(file.db.get(), "SELECT COUNT(*) FROM Pipe WHERE Tag = 'p-1'"),
                  Rows{{V::integer(3)}});
        const auto db = OpenDatabase(f.mdb);
        for (const auto& c : engineQueryCases())
            checkEngineCase(*db, c);
    }
}

// One column's type rewritten in the table definition: the same bytes read as another type.
TEST(MdbImport, EveryColumnTypeConverts) {
    const struct {
        int column;
        char type;
        const char* sqlType;
        std::string select;
        Rows expected;
    } cases[] = {
        // Day 0 is 1899-12-30; the fraction is the time of day.
        {6, 0x08, "DATETIME", "main_nom FROM Pipe WHERE UNIQUE_ID IN (1, 13) ORDER BY 1",
         Rows{{V::text("1900-01-01 12:00:00")}, {V::text("1900-01-03 00:00:00")}}},
        // Yes/no lives in the null bitmap: every record had a value, so Yes (-1).
        {7, 0x01, "INTEGER", "DISTINCT red_nom FROM Pipe", Rows{{V::integer(-1)}}},
        // The bytes of the double 120 as a count of ten-thousandths.
        {9, 0x05, "REAL", "LENGTH FROM Pipe WHERE UNIQUE_ID = 1",
         Rows{{V::real(463814466623818.9568)}}},
        {13, 0x06, "REAL", "WEIGHT FROM Pipe WHERE UNIQUE_ID = 1", Rows{{V::real(0)}}},
        {11, 0x03, "INTEGER", "UNIQUE_ID FROM Pipe WHERE Tag = 'P-50' ORDER BY 1",
         Rows{{V::integer(-25536)}, {V::integer(34)}}},
        {11, 0x02, "INTEGER", "UNIQUE_ID FROM Pipe WHERE Tag = 'P-50' ORDER BY 1",
         Rows{{V::integer(34)}, {V::integer(64)}}},
        {11, 0x04, "INTEGER", "MAX(UNIQUE_ID) FROM Pipe", Rows{{V::integer(40000)}}},
        // Too few bytes for the type: Null.
        {6, 0x10, "REAL", "COUNT(main_nom) FROM Pipe", Rows{{V::integer(0)}}},
        {9, 0x0F, "TEXT", "COUNT(LENGTH) FROM Pipe", Rows{{V::integer(0)}}},
        // Binary and OLE columns keep their stored bytes as they are.
        {8, 0x09, "BLOB", "typeof(Tag), Tag FROM Pipe WHERE UNIQUE_ID IN (4, 9)",
         Rows{{V::text("blob"), V::text(ucs2("P-2"))}, {V::text("null"), V::null()}}},
        {14, 0x0B, "BLOB", "typeof(NOTES), NOTES FROM Pipe WHERE UNIQUE_ID IN (1, 2)",
         Rows{{V::text("null"), V::null()},
              {V::text("blob"), V::text(ucs2("two records share this tag"))}}},
    };
    const std::string original = fileBytes(kFixtures + "/pipe-small.mdb");
    for (const auto& c : cases) {
        SCOPED_TRACE("column " + std::to_string(c.column) + " as type " + std::to_string(c.type));
        std::string bytes = original;
        // The table definition: the page naming the column WEIGHT.
        const std::size_t page = bytes.find(std::string("W\0E\0I\0G\0H\0T\0", 12)) / 4096 * 4096;
        auto* tdef = reinterpret_cast<std::uint8_t*>(bytes.data() + page);
        for (unsigned i = 0; i < access::get16(tdef + 45); ++i) {
            std::uint8_t* entry = tdef + 63 + access::get16(tdef + 51) * 12 + i * 25;
            if (entry[5] == c.column)
                entry[0] = static_cast<std::uint8_t>(c.type);
        }
        const Imported file = importBytes(bytes);
        EXPECT_EQ(query(file.db.get(), "SELECT type FROM pragma_table_info('Pipe') WHERE cid = " +
                                           std::to_string(c.column)),
                  Rows{{V::text(c.sqlType)}});
        EXPECT_EQ(query(file.db.get(), "SELECT " + c.select), c.expected);
    }
}

// Tables flagged as Access's own (0x80000000) or hidden (2), or named MSys..., are left out.
TEST(MdbImport, SystemAndHiddenTablesAreLeftOut) {
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
        {0x00000001u, "Valve", {{V::text("Valve")}}},
        {0x40000000u, "Valve", {{V::text("Valve")}}},
        {0, "MSysV", {}},
        {0, "MsysV", {{V::text("MsysV")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + std::to_string(c.flags));
        std::string bytes = original;
        bytes.replace(nameAt, 10, ucs2(c.name));
        access::put32(reinterpret_cast<std::uint8_t*>(&bytes[flagsAt]), c.flags);
        EXPECT_EQ(tablesOf(importBytes(bytes).db.get()), c.expected);
    }
}

// A memo pointer that leads nowhere is damage; a shorter length gives less text.
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
    const std::string damaged = cannotOpen(scratch());
    const struct {
        const char* what;
        std::uint32_t length; // with the flags
        std::uint32_t pointer;
        std::string error;
        Rows expected;
    } cases[] = {
        {"page 0", length, 0x01, damaged, {}},
        {"page just past the end", length, pages << 8, damaged, {}},
        {"a row that is not there", length, pointer | 0xFF, damaged, {}},
        {"as stored", length, pointer, "accepted", {{V::text(text)}}},
        // Two bytes a character (this file's text is not compressed).
        {"shorter",
         (length & 0xC0000000u) | 12,
         pointer,
         "accepted",
         {{V::text(text.substr(0, 6))}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = original;
        auto* p = reinterpret_cast<std::uint8_t*>(bytes.data() + memo.at);
        access::put32(p, c.length);
        access::put32(p + 4, c.pointer);
        Rows got;
        EXPECT_EQ(errorOf([&] { got = query(importBytes(bytes).db.get(), select); }), c.error);
        EXPECT_EQ(got, c.expected);
    }
}

// No Jet database, or a damaged one: refused with its message, the target as it was.
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
    const std::string path = scratch();
    const std::string unrecognized = "3343 Unrecognized database format '" + path + "'.";
    const std::string damaged = cannotOpen(path);
    const struct {
        const char* name;
        std::string bytes;
        std::string error;
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
        {"random-pages", noise, unrecognized},
    };
    const Imported target = importFile(kFixtures + "/no-pipe.mdb"); // what the target holds
    sqlite3* db = target.db.get();
    const Rows kept = query(db, "SELECT * FROM Valve");
    const auto refused = [&](const std::string& file, const std::string& error) {
        EXPECT_EQ(errorOf([&] { MdbImport::importInto(file, db); }), error);
        EXPECT_EQ(query(db, "SELECT * FROM Valve"), kept);
        EXPECT_EQ(tablesOf(db), Rows{{V::text("Valve")}});
        EXPECT_NE(sqlite3_get_autocommit(db), 0); // no transaction left open
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.bytes);
        refused(path, c.error);
    }
    std::remove(path.c_str());
    refused(kFixtures + "/absent.mdb", "3024 Could not find file '" + kFixtures + "/absent.mdb'.");
    refused(kFixtures, "3343 Unrecognized database format '" + kFixtures + "'.");
    refused(kFixtures + "/no-pipe.mdb",
            "3000 Cannot copy the Access tables: table \"Valve\" already exists");
    MdbImport::importInto(kFixtures + "/pipe-small.mdb", db); // still usable
    EXPECT_EQ(tablesOf(db), (Rows{{V::text("Pipe")}, {V::text("Valve")}}));
    EXPECT_NE(errorOf([&] { MdbImport::importInto(kFixtures + "/pipe-small.mdb", nullptr); }),
              "accepted");
}

} // namespace
} // namespace korvalt
