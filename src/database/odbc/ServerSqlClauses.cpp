#include "database/EngineError.h"
#include "database/odbc/ServerSqlParts.h"

namespace korvalt::server_sql {

void Statement::wrap(const Span& span, bool cast) {
    const bool single =
        span.first == span.last || (span.last == span.first + 2 && symbol(span.first + 1, "."));
    const Wrap w = foldWrap(m_dialect, single, cast);
    m_prefix[span.first] = w.open + m_prefix[span.first];
    m_suffix[span.last] += w.close;
}

// Text comparisons and LIKE ignore letter case.
void Statement::comparisons() {
    bool assignments = false; // UPDATE ... SET a = b: there = assigns
    for (std::size_t k = 0; k < m_t.size(); ++k) {
        if (m_level[k] == 0 && (keyword(k, "SET") || keyword(k, "WHERE"))) {
            assignments = keyword(k, "SET");
        }
        if (keyword(k, "LIKE")) {
            like(k);
        } else if (k > 0 && isComparison(k) && !(assignments && m_level[k] == 0)) {
            compare(k);
        }
    }
}

void Statement::like(std::size_t k) {
    const bool negated = k > 0 && keyword(k - 1, "NOT");
    const std::size_t before = negated ? k - 1 : k;
    if (before == 0 || k + 1 >= m_t.size() || m_t[k + 1].kind != JetTokenKind::Text) {
        // The server has no function that reads the engine's wildcards at run
        // time, and the program only ever writes a text here.
        throw EngineError(engine_errors::kNotSupported,
                          "Operation is not supported for this type of object: LIKE with a "
                          "pattern that is not a text.");
    }
    const Span left = operand(before - 1, m_level[k], false);
    if (left.empty) {
        return; // the check of the statement has refused this already
    }
    wrap(left, !isText(kind(left)));
    const LikeTest test = likeTest(m_t[k + 1].text, negated, m_dialect);
    if (negated) {
        m_replace[k - 1] = "";
    }
    m_replace[k] = test.op;
    m_replace[k + 1] = test.pattern;
}

void Statement::compare(std::size_t k) {
    const Span left = operand(k - 1, m_level[k], false);
    const Span right = operand(k + 1, m_level[k], true);
    const Operand l = kind(left);
    const Operand r = kind(right);
    if (left.empty || right.empty || l == Operand::NumberColumn || r == Operand::NumberColumn ||
        l == Operand::Null || r == Operand::Null || !(isText(l) || isText(r))) {
        return; // numbers compare as numbers
    }
    // A number against text is compared as the text it is written as, the way
    // SQLite compares it with a text column.
    for (const auto& [span, o] : {std::pair{left, l}, std::pair{right, r}}) {
        if (o != Operand::Number) {
            continue;
        }
        std::string written;
        for (std::size_t j = span.first; j <= span.last; ++j) {
            written += m_t[j].text;
            m_replace[j] = "";
        }
        m_replace[span.last] = textLiteral(written, m_dialect);
    }
    wrap(l == Operand::Number ? Span{left.last, left.last, false} : left);
    wrap(r == Operand::Number ? Span{right.last, right.last, false} : right);
}

// ORDER BY: text by its folded form; Null first going up, last going down.
void Statement::orderBy() {
    for (std::size_t i = 0; i + 1 < m_t.size(); ++i) {
        if (!keyword(i, "ORDER") || !keyword(i + 1, "BY")) {
            continue;
        }
        std::size_t start = i + 2;
        for (std::size_t j = start; j <= m_t.size(); ++j) {
            const bool end = j == m_t.size() || m_level[j] < m_level[i] ||
                             (m_level[j] == m_level[i] && (symbol(j, ",") || keyword(j, "UNION")));
            if (!end) {
                continue;
            }
            if (j > start) {
                std::size_t last = j - 1;
                const bool descending = keyword(last, "DESC");
                const bool direction = descending || keyword(last, "ASC");
                if (direction && last > start) {
                    --last;
                }
                const Span term{start, last, false};
                if (isText(kind(term))) {
                    wrap(term);
                }
                m_suffix[j - 1] += nullOrder(m_dialect, descending);
            }
            if (!symbol(j, ",")) {
                break;
            }
            start = j + 1;
        }
    }
}

// SELECT DISTINCT a, b FROM ... -> SELECT min(a) AS a, b FROM ... GROUP BY
// folded(a), b: one record per value ignoring letter case, whichever of its
// spellings. Done for the outer statement listing plain columns, the form
// the program sends; anything else keeps the server's DISTINCT.
void Statement::distinct() {
    if (keyword(1, "DISTINCTROW")) {
        m_replace[1] = ""; // whole records are distinct anyway
        return;
    }
    if (!keyword(0, "SELECT") || !keyword(1, "DISTINCT")) {
        return;
    }
    std::vector<Span> items;
    std::size_t start = 2;
    std::size_t from = m_t.size();
    for (std::size_t j = start; j < m_t.size(); ++j) {
        if (m_level[j] != 0) {
            continue;
        }
        if (keyword(j, "GROUP") || keyword(j, "HAVING") || keyword(j, "UNION")) {
            return;
        }
        if (keyword(j, "ORDER") && from < j) {
            m_groupAt = j;
            break;
        }
        if (from == m_t.size() && (symbol(j, ",") || keyword(j, "FROM"))) {
            items.push_back({start, j - 1, j == start});
            start = j + 1;
            if (keyword(j, "FROM")) {
                from = j;
            }
        }
    }
    std::vector<std::string> keys;
    for (const Span& item : items) {
        const Operand o = kind(item);
        if (item.empty || (o != Operand::TextColumn && o != Operand::NumberColumn)) {
            return;
        }
        std::string name;
        for (std::size_t j = item.first; j <= item.last; ++j) {
            name += m_replace[j] ? *m_replace[j] : m_t[j].text;
        }
        if (o == Operand::NumberColumn) {
            keys.push_back(name);
            continue;
        }
        const Wrap w = foldWrap(m_dialect, true);
        keys.push_back(w.open + name + w.close);
        m_prefix[item.first] = minFunction(m_dialect) + "(" + m_prefix[item.first];
        m_suffix[item.last] += ") AS " + quoteName(m_column[item.last]->name, m_dialect);
    }
    m_replace[1] = "";
    m_groupBy = "GROUP BY";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        m_groupBy += (i == 0 ? " " : ", ") + keys[i];
    }
}

} // namespace korvalt::server_sql
