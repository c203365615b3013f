#include "ServerLoader.h"

#include "database/EngineError.h"
#include "database/PipeSchema.h"
#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcSchema.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace korvalt {

namespace {

// The file engine's number for a table that is already there.
constexpr int kTableExists = 3010;
// Rows per INSERT statement: few enough round trips to keep the server busy
// rather than waiting, and under the thousand rows SQL Server takes in one
// VALUES list. Statements of 2,000 or 5,000 rows were no faster on PostgreSQL.
constexpr std::size_t kRowsPerStatement = 500;

enum class Kind { Text, Real, Integer };

struct Column {
    std::string_view name;
    Kind kind = Kind::Text;
    int position = -1; // in the source recordset, when it reads by position
};

// The kind of each Pipe column, from the type our own file format gives it
// ("NAME TYPE ..." between the parentheses, separated by commas).
std::vector<Column> pipeColumns() {
    std::string_view rest = pipe_schema::kCreatePipeTable;
    rest.remove_prefix(rest.find('(') + 1);
    std::vector<Column> out;
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        const std::size_t space = rest.find(' ');
        const std::string_view type = rest.substr(space + 1);
        const Kind kind = type.starts_with("REAL")      ? Kind::Real
                          : type.starts_with("INTEGER") ? Kind::Integer
                                                        : Kind::Text;
        out.push_back({rest.substr(0, space), kind, -1});
        const std::size_t next = rest.find_first_of(",)");
        rest.remove_prefix(next == std::string_view::npos ? rest.size() : next + 1);
        if (!rest.empty() && rest.front() != ' ')
            break; // the closing parenthesis
    }
    return out;
}

bool samePipeName(std::string_view name) {
    constexpr std::string_view kPipe = "pipe";
    if (name.size() != kPipe.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kPipe[i])
            return false;
    }
    return true;
}

std::string identifier(ServerDialect dialect, std::string_view name) {
    const bool pg = dialect == ServerDialect::PostgreSql;
    const char close = pg ? '"' : ']';
    std::string out(1, pg ? '"' : '[');
    for (const char c : name) {
        out += c;
        if (c == close)
            out += close;
    }
    return out + close;
}

// The table as created here. SQL Server's types are written from its
// documentation and have not met a server yet.
std::string createTable(ServerDialect dialect, const std::vector<Column>& columns) {
    const bool pg = dialect == ServerDialect::PostgreSql;
    std::string out = "CREATE TABLE " + identifier(dialect, "Pipe") + " (";
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const Kind kind = columns[c].kind;
        out += (c == 0 ? "" : ", ") + identifier(dialect, columns[c].name) + " ";
        out += kind == Kind::Text   ? (pg ? "TEXT" : "NVARCHAR(255)")
               : kind == Kind::Real ? (pg ? "DOUBLE PRECISION" : "FLOAT")
                                    : (pg ? "INTEGER" : "INT");
    }
    return out + ")";
}

// Seventeen significant digits bring back the same double. SQL Server reads
// a literal with an exponent as a float rather than a decimal.
std::string realText(ServerDialect dialect, double value) {
    if (!std::isfinite(value)) {
        if (dialect == ServerDialect::SqlServer)
            throw EngineError(engine_errors::kGeneral,
                              "SQL Server cannot store the number " + std::to_string(value));
        return std::isnan(value) ? "NaN" : value > 0 ? "Infinity" : "-Infinity";
    }
    std::array<char, 40> buffer{};
    std::snprintf(buffer.data(), buffer.size(),
                  dialect == ServerDialect::SqlServer ? "%.16e" : "%.17g", value);
    return buffer.data();
}

// The records of one INSERT statement, in the form the server reads fastest.
// PostgreSQL gets one array literal per column, unnested into rows: it reads
// a million records so several times faster than as rows of literals. SQL
// Server gets rows of literals. Null stays Null and empty text empty text; a
// value of another kind than its column's goes as it is, for the server to
// convert or refuse.
class Batch {
public:
    Batch(ServerDialect dialect, const std::vector<Column>& columns)
        : m_dialect(dialect), m_columns(columns), m_arrays(columns.size()) {
        m_head = "INSERT INTO " + identifier(dialect, "Pipe") + " (";
        for (std::size_t c = 0; c < columns.size(); ++c)
            m_head += (c == 0 ? "" : ", ") + identifier(dialect, columns[c].name);
        m_head += pg() ? ") SELECT * FROM unnest(" : ") VALUES ";
        m_rows = m_head;
    }

    std::size_t size() const { return m_size; }

    // Adds the current record of the source.
    void add(const Recordset& source) {
        if (!pg())
            m_rows += m_size == 0 ? "(" : ",(";
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            std::string& out = pg() ? m_arrays[c] : m_rows;
            if (pg() ? m_size > 0 : c > 0)
                out += ',';
            const Column& column = m_columns[c];
            if (column.position < 0) {
                value(source.fields(column.name), column.kind, out);
            } else if (const std::optional<std::string_view> t = source.textAt(column.position)) {
                text(*t, out);
            } else {
                value(source.valueAt(column.position), column.kind, out);
            }
        }
        if (!pg())
            m_rows += ')';
        ++m_size;
    }

    // The statement of the records added since the last one.
    std::string take() {
        std::string statement = std::move(m_rows);
        m_rows = m_head;
        m_size = 0;
        if (!pg())
            return statement;
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            const Kind kind = m_columns[c].kind;
            // A fraction for a whole-number column rounds, as in a row literal.
            statement += (c == 0 ? "'{" : ", '{") + m_arrays[c] + "}'::";
            statement += kind == Kind::Text   ? "text[]"
                         : kind == Kind::Real ? "float8[]"
                                              : "numeric[]";
            m_arrays[c].clear();
        }
        return statement + ")";
    }

private:
    bool pg() const { return m_dialect == ServerDialect::PostgreSql; }

    // PostgreSQL (standard_conforming_strings on): an array element, in
    // double quotes with backslashes before backslashes and double quotes,
    // inside a literal where single quotes are doubled and nothing else is
    // special. SQL Server: N'' with single quotes doubled.
    void text(std::string_view value, std::string& out) const {
        out += pg() ? "\"" : "N'";
        for (const char c : value) {
            if (pg() && (c == '\\' || c == '"'))
                out += '\\';
            out += c;
            if (c == '\'')
                out += '\'';
        }
        out += pg() ? '"' : '\'';
    }

    void value(const Value& v, Kind kind, std::string& out) const {
        if (v.isNull()) {
            out += "NULL";
        } else if (v.isText()) {
            text(v.asText(), out);
        } else {
            const std::string number =
                v.isInteger() ? std::to_string(v.asInteger()) : realText(m_dialect, v.asReal());
            if (kind == Kind::Text)
                text(number, out);
            else
                out += number;
        }
    }

    ServerDialect m_dialect;
    const std::vector<Column>& m_columns;
    std::vector<std::string> m_arrays; // PostgreSQL: one per column
    std::string m_head;
    std::string m_rows; // the statement so far (all of it for SQL Server)
    std::size_t m_size = 0;
};

std::size_t copyRecords(Recordset& source, std::vector<Column>& columns, ServerDialect dialect,
                        odbc::Connection& connection, const ServerLoadOptions& options) {
    for (Column& column : columns)
        column.position = source.fieldPosition(column.name);
    Batch batch(dialect, columns);
    std::size_t count = 0;
    auto send = [&] {
        connection.run(batch.take());
        if (options.progress)
            options.progress(count);
    };
    for (; !source.isEof(); source.moveNext()) {
        batch.add(source);
        ++count;
        if (batch.size() == kRowsPerStatement)
            send();
    }
    if (batch.size() > 0)
        send();
    return count;
}

} // namespace

std::size_t loadIntoServer(Database& source, const std::string& connectionString,
                           const ServerLoadOptions& options) {
    odbc::Connection connection(connectionString);
    const ServerDialect dialect = odbc::detectDialect(connection);
    if (dialect == ServerDialect::PostgreSql)
        connection.run("SET standard_conforming_strings = on");

    std::vector<std::string> existing;
    for (const ServerTable& table : odbc::readSchema(connection, dialect).tables) {
        if (samePipeName(table.name))
            existing.push_back(table.name);
    }
    if (!existing.empty() && !options.replace) {
        throw EngineError(kTableExists, "Table '" + existing.front() + "' already exists on '" +
                                            connection.address() +
                                            "' and is left as it is; ask for it to be replaced "
                                            "(--replace) to load the records in its place.");
    }

    std::vector<Column> columns = pipeColumns();
    // The source opens before the server's transaction begins: a source
    // without a Pipe table costs the server nothing.
    const std::unique_ptr<Recordset> records = source.openRecordset("SELECT * FROM Pipe");
    connection.setAutocommit(false);
    try {
        // A second spelling of the table (PostgreSQL tells "pipe" from
        // "Pipe") would make every later statement ambiguous: all go.
        for (const std::string& name : existing)
            connection.run("DROP TABLE " + identifier(dialect, name));
        connection.run(createTable(dialect, columns));
        const std::size_t count = copyRecords(*records, columns, dialect, connection, options);
        connection.endTransaction(true);
        connection.setAutocommit(true);
        return count;
    } catch (...) {
        // The failure being raised is what the caller must see; should the
        // rollback fail too (the link is gone), the server rolls back itself.
        try {
            connection.endTransaction(false);
        } catch (const EngineError&) {
        }
        throw;
    }
}

} // namespace korvalt
