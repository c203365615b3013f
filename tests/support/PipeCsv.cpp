#include "support/PipeCsv.h"

#include "PipeCsvReader.h"
#include "database/PipeSchema.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace korvalt::test_support {

namespace {

Value toValue(const PipeCsvReader::Field& field, const std::string& column) {
    if (field.quoted)
        return Value::text(field.text);
    if (field.text.empty())
        return Value::null();
    const bool real =
        column == "main_nom" || column == "red_nom" || column == "LENGTH" || column == "WEIGHT";
    if (column != "UNIQUE_ID" && !real)
        return Value::text(field.text);
    std::size_t used = 0;
    const Value v = real ? Value::real(std::stod(field.text, &used))
                         : Value::integer(std::stoll(field.text, &used));
    if (used != field.text.size())
        throw std::runtime_error("not a number in column " + column + ": " + field.text);
    return v;
}

void exec(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql);
}

} // namespace

const std::vector<std::string>& pipeCsvColumns() {
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> c(std::begin(pipe_schema::kColumns),
                                   std::end(pipe_schema::kColumns));
        c.insert(c.end(), {"COMP_ID", "WEIGHT", "NOTES"});
        return c;
    }();
    return columns;
}

std::vector<std::vector<Value>> loadPipeCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream content;
    content << in.rdbuf();
    const auto records = PipeCsvReader::parse(content.str());
    const auto& columns = pipeCsvColumns();
    if (records.empty())
        throw std::runtime_error("no header in " + path);
    std::vector<std::vector<Value>> rows(records.size() - 1);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const auto& fields = records[r].fields;
        if (fields.size() != columns.size())
            throw std::runtime_error("record " + std::to_string(r) + " of " + path + " has " +
                                     std::to_string(fields.size()) + " fields");
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (r == 0 && fields[c].text != columns[c])
                throw std::runtime_error("unexpected column " + fields[c].text + " in " + path);
            if (r > 0)
                rows[r - 1].push_back(toValue(fields[c], columns[c]));
        }
    }
    return rows;
}

void writePipeSqlite(const std::string& path, const std::vector<std::vector<Value>>& rows) {
    std::filesystem::remove(path);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open(path.c_str(), &raw);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot create " + path);
    std::string create = pipe_schema::kCreatePipeTable;
    create.pop_back(); // the closing parenthesis
    exec(db.get(), create + ", COMP_ID TEXT, WEIGHT REAL, NOTES TEXT)");
    exec(db.get(), "BEGIN");
    std::string insert = "INSERT INTO Pipe VALUES (?";
    for (std::size_t c = 1; c < pipeCsvColumns().size(); ++c)
        insert += ",?";
    sqlite3_stmt* raws = nullptr;
    if (sqlite3_prepare_v2(db.get(), (insert + ")").c_str(), -1, &raws, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raws, sqlite3_finalize);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            const int i = static_cast<int>(c) + 1;
            const Value& v = row[c];
            if (v.isNull())
                sqlite3_bind_null(statement.get(), i);
            else if (v.isInteger())
                sqlite3_bind_int64(statement.get(), i, v.asInteger());
            else if (v.isReal())
                sqlite3_bind_double(statement.get(), i, v.asReal());
            else
                sqlite3_bind_text(statement.get(), i, v.asText().c_str(),
                                  static_cast<int>(v.asText().size()), SQLITE_TRANSIENT);
        }
        const int stepped = sqlite3_step(statement.get());
        sqlite3_reset(statement.get());
        if (stepped != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    exec(db.get(), "COMMIT");
}

} // namespace korvalt::test_support
