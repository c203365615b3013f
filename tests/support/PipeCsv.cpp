#include "support/PipeCsv.h"

#include "database/PipeSchema.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace korvalt::test_support {

namespace {

struct Field {
    std::string text;
    bool quoted = false;
};

// Splits CSV text into records of fields, keeping whether each was quoted.
std::vector<std::vector<Field>> parseCsv(const std::string& text) {
    std::vector<std::vector<Field>> records;
    std::vector<Field> record;
    Field field;
    bool inQuotes = false;
    bool fieldStarted = false;
    auto endField = [&] {
        record.push_back(field);
        field = Field{};
        fieldStarted = false;
    };
    auto endRecord = [&] {
        endField();
        records.push_back(record);
        record.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field.text += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                field.text += c;
            }
        } else if (c == '"' && !fieldStarted) {
            inQuotes = true;
            field.quoted = true;
            fieldStarted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\n') {
            endRecord();
        } else if (c != '\r') {
            field.text += c;
            fieldStarted = true;
        }
    }
    if (inQuotes) {
        throw std::runtime_error("CSV ends inside a quoted field");
    }
    if (fieldStarted || !record.empty()) {
        endRecord();
    }
    return records;
}

Value toValue(const Field& field, const std::string& column) {
    if (field.quoted) {
        return Value::text(field.text);
    }
    if (field.text.empty()) {
        return Value::null();
    }
    std::size_t used = 0;
    if (column == "UNIQUE_ID") {
        const long long v = std::stoll(field.text, &used);
        if (used == field.text.size()) {
            return Value::integer(v);
        }
    } else if (column == "main_nom" || column == "red_nom" || column == "LENGTH" ||
               column == "WEIGHT") {
        const double v = std::stod(field.text, &used);
        if (used == field.text.size()) {
            return Value::real(v);
        }
    } else {
        return Value::text(field.text);
    }
    throw std::runtime_error("not a number in column " + column + ": " + field.text);
}

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in: " + sql);
    }
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
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << in.rdbuf();
    const auto records = parseCsv(content.str());
    const auto& columns = pipeCsvColumns();
    if (records.empty() || records[0].size() != columns.size()) {
        throw std::runtime_error("unexpected header in " + path);
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (records[0][c].text != columns[c]) {
            throw std::runtime_error("unexpected column " + records[0][c].text + " in " + path);
        }
    }
    std::vector<std::vector<Value>> rows;
    for (std::size_t r = 1; r < records.size(); ++r) {
        if (records[r].size() != columns.size()) {
            throw std::runtime_error("record " + std::to_string(r) + " of " + path + " has " +
                                     std::to_string(records[r].size()) + " fields");
        }
        std::vector<Value> row;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            row.push_back(toValue(records[r][c], columns[c]));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void writePipeSqlite(const std::string& path, const std::vector<std::vector<Value>>& rows) {
    std::filesystem::remove(path);
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const std::unique_ptr<sqlite3, CloseDb> db(raw);
    if (rc != SQLITE_OK) {
        throw std::runtime_error("cannot create " + path);
    }
    std::string create = pipe_schema::kCreatePipeTable;
    create.pop_back(); // the closing parenthesis
    create += ", COMP_ID TEXT, WEIGHT REAL, NOTES TEXT)";
    exec(db.get(), create);
    exec(db.get(), "BEGIN");
    const auto& columns = pipeCsvColumns();
    std::string insert = "INSERT INTO Pipe VALUES (?";
    for (std::size_t c = 1; c < columns.size(); ++c) {
        insert += ",?";
    }
    insert += ")";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.get(), insert.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            const int index = static_cast<int>(c) + 1;
            const Value& v = row[c];
            if (v.isNull()) {
                sqlite3_bind_null(statement, index);
            } else if (v.isInteger()) {
                sqlite3_bind_int64(statement, index, v.asInteger());
            } else if (v.isReal()) {
                sqlite3_bind_double(statement, index, v.asReal());
            } else {
                sqlite3_bind_text(statement, index, v.asText().c_str(),
                                  static_cast<int>(v.asText().size()), SQLITE_TRANSIENT);
            }
        }
        const int stepped = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (stepped != SQLITE_DONE) {
            sqlite3_finalize(statement);
            throw std::runtime_error(sqlite3_errmsg(db.get()));
        }
    }
    sqlite3_finalize(statement);
    exec(db.get(), "COMMIT");
}

} // namespace korvalt::test_support
