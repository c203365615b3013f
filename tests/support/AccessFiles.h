#pragma once

#include "database/Database.h"
#include "database/access/MdbImport.h"

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace korvalt::test_support {

using SqlitePtr = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

// Copies a fixture into `dir`, writable whatever its bits; returns the copy's path.
std::string copyFixture(const std::string& fixture, const std::string& dir);

// Runs a statement, handing each row of its result to onRow.
void eachRow(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& onRow);

// The file read by Korvalt's own reader into a fresh in-memory database.
struct Imported {
    SqlitePtr db;
    std::vector<MdbImport::Table> tables;
    const MdbImport::Table& table(const std::string& name) const;
};
Imported importFile(const std::string& path);

// Rows a condition picks ("" all): as strings, address first, Null apart from ""; or addresses.
std::multiset<std::string> tableRows(sqlite3* db, const std::string& table,
                                     const std::string& where = "");
std::vector<std::uint32_t> rowAddresses(sqlite3* db, const std::string& table,
                                        const std::string& where = "");

// The Pipe columns Korvalt reads, rendered the same way, as an open database shows them.
std::multiset<std::string> pipeRows(Database& db);

// Korvalt's structural check of one table of a file; empty when clean.
std::vector<std::string> verifyFile(const std::string& path, std::uint32_t tdefPage);

// Byte-for-byte content of a file, and a file made of `bytes`.
std::string fileBytes(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace korvalt::test_support
