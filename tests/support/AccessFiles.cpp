#include "support/AccessFiles.h"

#include "database/PipeSchema.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"
#include "database/access/TableVerifier.h"
#include "results/FieldText.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace korvalt::test_support {

constexpr char kSeparator = '\x1f';
constexpr const char* kNull = "\x01<Null>";

void eachRow(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& onRow) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    while (sqlite3_step(raw) == SQLITE_ROW)
        onRow(raw);
}

std::string copyFixture(const std::string& fixture, const std::string& dir) {
    namespace fs = std::filesystem;
    const fs::path target = fs::path(dir) / fs::path(fixture).filename();
    fs::copy_file(fixture, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms(0644));
    return target.string();
}

const MdbImport::Table& Imported::table(const std::string& name) const {
    for (const MdbImport::Table& t : tables)
        if (t.name == name)
            return t;
    throw std::runtime_error("no table " + name);
}

Imported importFile(const std::string& path) {
    sqlite3* raw = nullptr;
    sqlite3_open(":memory:", &raw);
    Imported imported{SqlitePtr(raw, sqlite3_close), {}};
    imported.tables = MdbImport::importInto(path, raw);
    return imported;
}

static std::string select(const std::string& what, const std::string& table,
                          const std::string& where) {
    return "SELECT " + what + " FROM \"" + table + "\"" + (where.empty() ? "" : " WHERE " + where);
}

std::multiset<std::string> tableRows(sqlite3* db, const std::string& table,
                                     const std::string& where) {
    std::multiset<std::string> rows;
    eachRow(db, select("rowid, *", table, where), [&](sqlite3_stmt* stmt) {
        std::string row = std::to_string(sqlite3_column_int64(stmt, 0));
        for (int i = 1; i < sqlite3_column_count(stmt); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, i));
            row += kSeparator + (text ? std::string(text, size) : std::string(kNull));
        }
        rows.insert(row);
    });
    return rows;
}

std::vector<std::uint32_t> rowAddresses(sqlite3* db, const std::string& table,
                                        const std::string& where) {
    std::vector<std::uint32_t> rows;
    eachRow(db, select("rowid", table, where) + " ORDER BY rowid", [&](sqlite3_stmt* s) {
        rows.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(s, 0)));
    });
    return rows;
}

std::multiset<std::string> pipeRows(Database& db) {
    const auto rs = db.openRecordset("SELECT rowid, * FROM Pipe");
    std::multiset<std::string> rows;
    for (; !rs->isEof(); rs->moveNext()) {
        std::string row = FieldText::toText(rs->fields("rowid"));
        for (const char* c : pipe_schema::kColumns) {
            const Value& v = rs->fields(c);
            row += kSeparator + (v.isNull() ? std::string(kNull) : FieldText::toText(v));
        }
        rows.insert(row);
    }
    return rows;
}

std::vector<std::string> verifyFile(const std::string& path, std::uint32_t tdefPage) {
    access::PageFile file(path);
    return access::verifyTable(file, access::readTableDef(file, tdefPage));
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace korvalt::test_support
