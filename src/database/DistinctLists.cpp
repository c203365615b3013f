#include "database/DistinctLists.h"

#include "database/ColumnScan.h"
#include "database/DistinctText.h"
#include "database/EngineError.h"
#include "database/JetLike.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <future>
#include <string_view>
#include <system_error>

namespace korvalt {

namespace {

using engine_errors::kItemNotFound;
using engine_errors::kNoCurrentRecord;
using engine_errors::kObjectClosed;

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

std::string quoted(std::string_view name) {
    std::string out = "\"";
    for (const char c : name)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string_view columnText(sqlite3_stmt* statement, int column) {
    const auto* bytes = sqlite3_column_text(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    if (bytes == nullptr || size <= 0)
        return {};
    return {reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size)};
}

// Words of a statement: identifiers and keywords, and the odd `;`.
std::vector<std::string_view> words(std::string_view sql) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < sql.size()) {
        const auto c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (std::isalpha(c) || c == '_') {
            const std::size_t start = i;
            while (i < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
                ++i;
            out.push_back(sql.substr(start, i - start));
        } else {
            out.push_back(sql.substr(i, 1));
            ++i;
        }
    }
    return out;
}

bool same(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           sqlite3_strnicmp(a.data(), b.data(), static_cast<int>(a.size())) == 0;
}

bool isName(std::string_view word) {
    const auto c = static_cast<unsigned char>(word.front());
    return (std::isalpha(c) || c == '_') &&
           !sqlite3_keyword_check(word.data(), static_cast<int>(word.size()));
}

// A list handed out whole: the rows of one column, read forward. Each row's
// value is made when it is reached, from the texts kept end to end.
class ValueList : public Recordset {
public:
    ValueList(std::string name, bool null, DistinctText texts)
        : m_name(std::move(name)), m_foldedName(JetLike::fold(m_name)), m_null(null),
          m_texts(std::move(texts)), m_size(m_texts.size() + (null ? 1 : 0)) {}

    bool isEof() const override { return m_closed || m_next >= m_size; }
    void moveNext() override {
        if (m_closed)
            throw EngineError(kObjectClosed, "Object invalid or no longer set.");
        if (isEof())
            throw EngineError(kNoCurrentRecord, "No current record.");
        ++m_next;
    }
    const Value& fields(std::string_view name) const override {
        if (fieldPosition(name) < 0)
            throw EngineError(kItemNotFound, "Item not found in this collection.");
        return valueAt(0);
    }
    long recordCount() const override { return static_cast<long>(std::min(m_next + 1, m_size)); }
    void close() override {
        m_closed = true;
        m_texts = DistinctText();
    }

    int fieldPosition(std::string_view name) const override {
        // Callers ask by the name they put in the statement, every row.
        return same(name, m_name) || JetLike::fold(name) == m_foldedName ? 0 : -1;
    }
    // The text straight from where the list keeps it: most callers need no
    // value made for each of a million rows.
    std::optional<std::string_view> textAt(int position) const override {
        checkCurrent(position);
        if (m_null && m_next == 0)
            return std::nullopt;
        return m_texts.inOrder(m_next - (m_null ? 1 : 0));
    }
    const Value& valueAt(int position) const override {
        checkCurrent(position);
        if (m_made != m_next) {
            // A Null sorts before every text.
            m_current =
                m_null && m_next == 0 ? Value::null() : Value::text(std::string(*textAt(position)));
            m_made = m_next;
        }
        return m_current;
    }

private:
    void checkCurrent(int position) const {
        if (position != 0)
            throw EngineError(kItemNotFound, "Item not found in this collection.");
        if (isEof())
            throw EngineError(kNoCurrentRecord, "No current record.");
    }

    std::string m_name;
    std::string m_foldedName;
    bool m_null;
    DistinctText m_texts;
    std::size_t m_size;
    std::size_t m_next = 0;
    // The value of the current row, made when first asked for.
    mutable Value m_current;
    mutable std::size_t m_made = static_cast<std::size_t>(-1);
    bool m_closed = false;
};

} // namespace

struct DistinctLists::Column {
    std::string name;
    ScannedColumn scanned;
    bool handedOut = false;
};

std::optional<DistinctLists::Request> DistinctLists::match(const std::string& sql) {
    std::vector<std::string_view> w = words(sql);
    if (!w.empty() && w.back() == ";")
        w.pop_back();
    if (w.size() == 9 && same(w[8], "ASC"))
        w.pop_back();
    if (w.size() != 8 || !same(w[0], "SELECT") || !same(w[1], "DISTINCT") || !same(w[3], "FROM") ||
        !same(w[5], "ORDER") || !same(w[6], "BY"))
        return std::nullopt;
    if (!isName(w[2]) || !isName(w[4]) || !same(w[2], w[7]))
        return std::nullopt;
    return Request{std::string(w[2]), std::string(w[4])};
}

DistinctLists::DistinctLists(sqlite3* db) : m_db(db) {}

DistinctLists::~DistinctLists() = default;

DistinctLists::Snapshot DistinctLists::now() const {
    Snapshot snapshot;
    snapshot.changes = sqlite3_total_changes64(m_db);
    // Changes another program made to the file since.
    const Statement version = prepare(m_db, "PRAGMA data_version");
    if (version && sqlite3_step(version.get()) == SQLITE_ROW)
        snapshot.dataVersion = sqlite3_column_int64(version.get(), 0);
    return snapshot;
}

bool DistinctLists::qualifies(const std::string& table,
                              std::vector<std::string>& textColumns) const {
    // One plain table of that name, with its rows in row-id order.
    const Statement list = prepare(m_db, "PRAGMA table_list(" + quoted(table) + ")");
    int tables = 0;
    bool plain = false;
    while (list && sqlite3_step(list.get()) == SQLITE_ROW) {
        ++tables;
        plain = columnText(list.get(), 2) == "table" && sqlite3_column_int(list.get(), 4) == 0;
    }
    if (tables != 1 || !plain)
        return false;
    // An index could be what the engine scans instead of the table.
    const Statement indexes = prepare(m_db, "PRAGMA index_list(" + quoted(table) + ")");
    if (!indexes || sqlite3_step(indexes.get()) != SQLITE_DONE)
        return false;
    const Statement info = prepare(m_db, "PRAGMA table_info(" + quoted(table) + ")");
    while (info && sqlite3_step(info.get()) == SQLITE_ROW) {
        std::string type(columnText(info.get(), 2));
        for (char& c : type)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        // The engine's rule for a column that keeps text as text.
        if (type.find("CHAR") != std::string::npos || type.find("CLOB") != std::string::npos ||
            type.find("TEXT") != std::string::npos)
            textColumns.emplace_back(columnText(info.get(), 1));
    }
    return true;
}

void DistinctLists::readTable(const std::string& table, const std::vector<std::string>& columns) {
    m_table.clear();
    m_columns.clear();
    std::string sql = "SELECT ";
    for (std::size_t k = 0; k < columns.size(); ++k)
        sql += (k ? ", " : "") + quoted(columns[k]);
    const Statement scan = prepare(m_db, sql + " FROM " + quoted(table));
    if (!scan)
        return;
    const Snapshot before = now();
    std::vector<ScannedColumn> scanned(columns.size());
    if (!scanColumns(scan.get(), scanned))
        return; // the engine meets the same failure and reports it

    // Each list is put in order on its own; the larger ones on other cores.
    std::vector<std::future<void>> sorting;
    for (ScannedColumn& column : scanned) {
        if (!column.onlyText)
            continue;
        DistinctText& texts = column.texts;
        if (texts.size() >= 50000) {
            try {
                sorting.push_back(std::async(std::launch::async, [&texts] { texts.sort(); }));
                continue;
            } catch (const std::system_error&) {
                // no thread to be had: sorted here
            }
        }
        texts.sort();
    }
    for (auto& done : sorting)
        done.get();
    for (std::size_t k = 0; k < columns.size(); ++k) {
        m_columns.push_back(std::make_unique<Column>());
        m_columns.back()->name = columns[k];
        m_columns.back()->scanned = std::move(scanned[k]);
    }
    m_table = JetLike::fold(table);
    m_readAt = before;
}

std::unique_ptr<Recordset> DistinctLists::answer(const std::string& sql) {
    const std::optional<Request> request = match(sql);
    if (!request)
        return nullptr;
    const auto find = [&]() -> Column* {
        if (m_table != JetLike::fold(request->table) || now() != m_readAt)
            return nullptr;
        for (auto& column : m_columns) {
            if (same(column->name, request->column))
                return column.get();
        }
        return nullptr;
    };
    Column* column = find();
    if (column == nullptr || column->handedOut) {
        std::vector<std::string> textColumns;
        if (!qualifies(request->table, textColumns)) {
            m_table.clear();
            m_columns.clear();
            return nullptr;
        }
        // A column that is not text (or not there) is the engine's to
        // answer, without a pass over the table first.
        if (std::none_of(textColumns.begin(), textColumns.end(),
                         [&](const std::string& name) { return same(name, request->column); }))
            return nullptr;
        readTable(request->table, textColumns);
        column = find();
    }
    if (column == nullptr || !column->scanned.onlyText)
        return nullptr;
    column->handedOut = true;
    return std::make_unique<ValueList>(request->column, column->scanned.hasNull,
                                       std::move(column->scanned.texts));
}

} // namespace korvalt
