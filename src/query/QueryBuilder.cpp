#include "query/QueryBuilder.h"

#include <array>
#include <utility>

namespace korvalt {

bool QueryBuilder::isExactSearch(const FilterTexts& f) {
    // The size list is deliberately not inspected.
    for (const std::string* text :
         {&f.drawing, &f.spec, &f.shortDesc, &f.line, &f.longDesc, &f.tag, &f.partCode}) {
        if (text->find('*') != std::string::npos)
            return false;
    }
    return true;
}

std::string QueryBuilder::build(const std::string& base, const FilterTexts& f, bool exact) {
    const std::array<std::pair<const char*, const std::string*>, 8> criteria = {{
        {"DWG_NAME", &f.drawing},
        {"SPEC_FILE", &f.spec},
        {"ALPHA_SIZE", &f.size},
        {"SHORT_DESC", &f.shortDesc},
        {"LINE_NUM", &f.line},
        {"LONG_DESC", &f.longDesc},
        {"TAG", &f.tag},
        {"DB_CODE", &f.partCode},
    }};
    const std::string op = exact ? "=" : "LIKE";
    std::string sql = base;
    bool first = true;
    for (const auto& [column, value] : criteria) {
        if (*value == kAll)
            continue;
        // Nothing is escaped: the statement holds the text as typed.
        sql += std::string(first ? " WHERE " : " AND ") + column + " " + op + " '" + *value + "'";
        first = false;
    }
    if (base == kSearchBase)
        sql += kSearchOrder;
    return sql;
}

} // namespace korvalt
