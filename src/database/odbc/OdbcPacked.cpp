#include "database/odbc/OdbcPacked.h"

#include "database/EngineError.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace korvalt::odbc {

namespace {

constexpr int kCallFailed = 3146;

[[noreturn]] void malformed(std::string_view record) {
    throw EngineError(kCallFailed, "ODBC--call failed. The server sent a record Korvalt cannot "
                                   "read: " +
                                       std::string(record.substr(0, 200)));
}

std::string_view withoutTerminator(std::string_view query) {
    while (!query.empty() && (query.back() == ';' || query.back() == ' ' || query.back() == '\n' ||
                              query.back() == '\t' || query.back() == '\r'))
        query.remove_suffix(1);
    return query;
}

bool toNumber(std::string_view text, ColumnKind kind, RowBatch::Cell& cell) {
    const char* end = text.data() + text.size();
    if (kind == ColumnKind::Integer) {
        if (text == "t" || text == "f") { // a boolean column
            cell.integer = text == "t" ? 1 : 0;
            return true;
        }
        const auto [at, error] = std::from_chars(text.data(), end, cell.integer);
        return error == std::errc() && at == end;
    }
    if (text == "NaN") {
        cell.real = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (text == "Infinity" || text == "-Infinity") {
        cell.real = text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    const auto [at, error] = std::from_chars(text.data(), end, cell.real);
    return error == std::errc() && at == end;
}

} // namespace

std::string packedQuery(std::string_view query) {
    return "SELECT ROW(k.*)::text FROM (" + std::string(withoutTerminator(query)) + ") AS k";
}

std::string emptyQuery(std::string_view query) {
    return "SELECT * FROM (" + std::string(withoutTerminator(query)) + ") AS k LIMIT 0";
}

void unpackRecord(std::string_view record, const std::vector<ColumnKind>& kinds, RowBatch& batch) {
    if (record.size() < 2 || record.front() != '(' || record.back() != ')')
        malformed(record);
    std::size_t i = 1;
    const std::size_t last = record.size() - 1; // the closing parenthesis
    for (std::size_t c = 0; c < kinds.size(); ++c) {
        RowBatch::Cell cell;
        cell.offset = batch.bytes.size();
        if (record[i] == '"') {
            // Quoted: text, possibly empty.
            cell.null = false;
            for (++i;; ++i) {
                if (i >= last)
                    malformed(record);
                const char ch = record[i];
                if ((ch == '"' || ch == '\\') && record[i + 1] == ch) {
                    batch.bytes += ch;
                    ++i;
                } else if (ch == '"') {
                    ++i;
                    break;
                } else {
                    batch.bytes += ch;
                }
            }
        } else {
            const std::size_t end = std::min(record.find(',', i), last);
            cell.null = end == i;
            batch.bytes.append(record.substr(i, end - i));
            i = end;
        }
        cell.length = batch.bytes.size() - cell.offset;
        if (!cell.null && kinds[c] != ColumnKind::Text) {
            const std::string_view text(batch.bytes.data() + cell.offset, cell.length);
            if (!toNumber(text, kinds[c], cell))
                malformed(record);
            batch.bytes.resize(cell.offset);
            cell.length = 0;
        }
        batch.cells.push_back(cell);
        // A comma between fields, the closing parenthesis after the last.
        if (c + 1 < kinds.size() ? record[i] != ',' : i != last)
            malformed(record);
        ++i;
    }
}

} // namespace korvalt::odbc
