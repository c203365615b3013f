#pragma once

#include "database/Database.h"
#include "database/access/MdbImport.h"

#include <sqlite3.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace korvalt::test_support {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using SqlitePtr = std::unique_ptr<sqlite3, SqliteCloser>;

// Copies a fixture into `dir` (writable, whatever the fixture's bits) and
// returns the copy's path.
std::string copyFixture(const std::string& fixture, const std::string& dir);

// The file read by Korvalt's own reader into a fresh in-memory database.
struct Imported {
    SqlitePtr db;
    std::vector<MdbImport::Table> tables;
    const MdbImport::Table& table(const std::string& name) const;
};
Imported importFile(const std::string& path);

// Every row of a table with its address in the file, each as one string
// (fields joined by a unit separator, Null apart from empty text).
std::multiset<std::string> tableRows(sqlite3* db, const std::string& table);
// The addresses of the rows a condition selects ("" for all).
std::vector<std::uint32_t> rowAddresses(sqlite3* db, const std::string& table,
                                        const std::string& where = "");

// The columns Korvalt reads of the Pipe table, with each row's address,
// rendered the same way, as an open database shows them.
std::multiset<std::string> pipeRows(Database& db);

// Korvalt's structural check of one table of a file; empty when clean.
std::vector<std::string> verifyFile(const std::string& path, std::uint32_t tdefPage);

// Byte-for-byte content of a file.
std::string fileBytes(const std::string& path);

} // namespace korvalt::test_support
