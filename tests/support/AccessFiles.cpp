#include "support/AccessFiles.h"

#include "database/EngineError.h"
#include "database/PipeSchema.h"
#include "results/FieldText.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"
#include "database/access/TableVerifier.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvalt::test_support {

namespace {

constexpr char kSeparator = '\x1f';
constexpr const char* kNull = "\x01<Null>";

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
        out.append(buffer, n);
    return out;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> fields;
    std::string field;
    for (const char c : line) {
        if (c == by) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

std::string join(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i ? std::string(1, kSeparator) : std::string()) + fields[i];
    return line;
}

} // namespace

std::string copyFixture(const std::string& fixture, const std::string& dir) {
    namespace fs = std::filesystem;
    const fs::path target = fs::path(dir) / fs::path(fixture).filename();
    fs::copy_file(fixture, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
    return target.string();
}

const MdbImport::Table& Imported::table(const std::string& name) const {
    for (const MdbImport::Table& t : tables) {
        if (t.name == name)
            return t;
    }
    throw std::runtime_error("no table " + name);
}

Imported importFile(const std::string& path) {
    sqlite3* raw = nullptr;
    sqlite3_open(":memory:", &raw);
    Imported imported{SqlitePtr(raw), {}};
    imported.tables = MdbImport::importInto(path, raw);
    return imported;
}

std::multiset<std::string> tableRows(sqlite3* db, const std::string& table) {
    sqlite3_stmt* raw = nullptr;
    const std::string sql = "SELECT rowid, * FROM \"" + table + "\"";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    std::multiset<std::string> rows;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        std::vector<std::string> fields;
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            const auto* text = sqlite3_column_text(raw, i);
            fields.emplace_back(text == nullptr ? kNull
                                                : std::string(reinterpret_cast<const char*>(text),
                                                              static_cast<std::size_t>(
                                                                  sqlite3_column_bytes(raw, i))));
        }
        rows.insert(join(fields));
    }
    return rows;
}

std::vector<std::uint32_t> rowAddresses(sqlite3* db, const std::string& table,
                                        const std::string& where) {
    sqlite3_stmt* raw = nullptr;
    const std::string sql = "SELECT rowid FROM \"" + table + "\"" +
                            (where.empty() ? std::string() : " WHERE " + where) + " ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    std::vector<std::uint32_t> rows;
    while (sqlite3_step(raw) == SQLITE_ROW)
        rows.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(raw, 0)));
    return rows;
}

std::multiset<std::string> pipeRows(Database& db) {
    const auto rs = db.openRecordset("SELECT rowid, * FROM Pipe");
    std::multiset<std::string> rows;
    std::vector<std::string> columns = {"rowid"};
    for (const char* c : pipe_schema::kColumns)
        columns.emplace_back(c);
    for (; !rs->isEof(); rs->moveNext()) {
        std::vector<std::string> fields;
        for (const std::string& c : columns) {
            const Value& v = rs->fields(c);
            fields.push_back(v.isNull() ? kNull : FieldText::toText(v));
        }
        rows.insert(join(fields));
    }
    return rows;
}

std::multiset<std::string> MdbExport::lines() const {
    std::multiset<std::string> all;
    for (const auto& row : rows)
        all.insert(join(row));
    return all;
}

int MdbExport::column(const std::string& name) const {
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

MdbExport mdbExport(const std::string& path, const std::string& table) {
    // Invisible characters escaped and tabs between fields: one row a line.
    const std::string out = run("mdb-export -e -Q -d \"$(printf '\\t')\" -0 '<NULL>' " +
                                shellQuote(path) + " " + shellQuote(table));
    MdbExport result;
    std::istringstream lines(out);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (first)
            result.header = split(line, '\t');
        else
            result.rows.push_back(split(line, '\t'));
        first = false;
    }
    return result;
}

long mdbCount(const std::string& path, const std::string& table) {
    const std::string out = run("mdb-count " + shellQuote(path) + " " + shellQuote(table));
    return std::stol(out);
}

std::vector<std::string> verifyFile(const std::string& path, std::uint32_t tdefPage) {
    access::PageFile file(path);
    return access::verifyTable(file, access::readTableDef(file, tdefPage));
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace korvalt::test_support
