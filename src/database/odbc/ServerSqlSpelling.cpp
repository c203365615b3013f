#include "database/odbc/ServerSqlParts.h"

#include "database/TextFold.h"

#include <array>
#include <utility>

namespace korvalt::server_sql {

namespace {

// The case folding on PostgreSQL: lower() of the ICU root locale folds the
// letters of every script whatever locale the database was created with
// (with the C locale lower() would fold ASCII only), and the "C" collation
// then compares the folded texts by code point, as the file engine does.
constexpr const char* kPgFoldCollation = "\"und-x-icu\"";
constexpr const char* kPgOrderCollation = "\"C\"";

// Where the engine's folding and ICU's lower() differ: the small final
// sigma (which lower() also makes of a capital sigma ending a word), the
// micro sign, the Greek symbol forms and the long s with dot fold to their
// plain small letters.
constexpr std::array<std::pair<char32_t, char32_t>, 11> kPgAfterLower = {{{0xB5, 0x3BC},
                                                                          {0x345, 0x3B9},
                                                                          {0x3C2, 0x3C3},
                                                                          {0x3D0, 0x3B2},
                                                                          {0x3D1, 0x3B8},
                                                                          {0x3D5, 0x3C6},
                                                                          {0x3D6, 0x3C0},
                                                                          {0x3F0, 0x3BA},
                                                                          {0x3F1, 0x3C1},
                                                                          {0x3F5, 0x3B5},
                                                                          {0x1E9B, 0x1E61}}};

// translate(..., 'from', 'to') of the pairs above.
std::string pgAfterLower() {
    std::string from;
    std::string to;
    for (const auto& [capital, small] : kPgAfterLower) {
        encodeUtf8(capital, from);
        encodeUtf8(small, to);
    }
    return ", '" + from + "', '" + to + "')";
}

// On SQL Server, LOWER() folds by the Unicode tables and the binary
// collation compares by code point. The appended character 1 (below every
// character a name holds) keeps trailing blanks significant, which the
// server's = otherwise ignores, and keeps "a" before "a ".
constexpr const char* kMsOrderCollation = "Latin1_General_100_BIN2";

std::string doubled(std::string_view text, char quote) {
    std::string out;
    out.reserve(text.size() + 2);
    for (const char c : text) {
        out += c;
        if (c == quote) {
            out += quote;
        }
    }
    return out;
}

} // namespace

std::string quoteName(std::string_view name, ServerDialect dialect) {
    if (dialect == ServerDialect::SqlServer) {
        return "[" + doubled(name, ']') + "]";
    }
    return "\"" + doubled(name, '"') + "\"";
}

std::string textLiteral(std::string_view text, ServerDialect dialect) {
    // PostgreSQL reads backslashes as themselves (standard_conforming_strings,
    // on by default since 9.1): only the quote is doubled.
    const std::string body = "'" + doubled(text, '\'') + "'";
    return dialect == ServerDialect::SqlServer ? "N" + body : body;
}

Wrap foldWrap(ServerDialect dialect, bool single, bool cast) {
    const bool sqlServer = dialect == ServerDialect::SqlServer;
    // The operand itself: cast to text, or in parentheses unless it is one
    // term; then the dialect's folding around it.
    Wrap w;
    if (cast) {
        w.open = "CAST(";
        w.close = sqlServer ? " AS nvarchar(max))" : " AS text)";
    } else if (!single) {
        w.open = "(";
        w.close = ")";
    }
    if (sqlServer) {
        w.open = "(LOWER(" + w.open;
        w.close += ") + NCHAR(1)) COLLATE " + std::string(kMsOrderCollation);
    } else {
        w.open = "translate(lower(" + w.open;
        w.close += " COLLATE " + std::string(kPgFoldCollation) + ")" + pgAfterLower() +
                   " COLLATE " + kPgOrderCollation;
    }
    return w;
}

std::string nullOrder(ServerDialect dialect, bool descending) {
    if (dialect == ServerDialect::SqlServer) {
        return ""; // Null is the smallest value there already
    }
    return descending ? " NULLS LAST" : " NULLS FIRST";
}

std::string concatOperator(ServerDialect dialect) {
    return dialect == ServerDialect::SqlServer ? "+" : "||";
}

std::string minFunction(ServerDialect dialect) {
    return dialect == ServerDialect::SqlServer ? "MIN" : "min";
}

} // namespace korvalt::server_sql
