#pragma once

#include <string>

namespace korvalt {

// The texts of the eight filter lists, as the user left them.
struct FilterTexts {
    std::string drawing = "All";
    std::string spec = "All";
    std::string size = "All";
    std::string shortDesc = "All";
    std::string line = "All";
    std::string longDesc = "All";
    std::string tag = "All";
    std::string partCode = "All";
};

// Turns filter texts into a statement. Shared by the main window and the
// command-line report, so both send exactly the same SQL.
class QueryBuilder {
public:
    // The no-filter marker, compared exactly.
    static constexpr const char* kAll = "All";
    static constexpr const char* kSearchBase = "SELECT * FROM PIPE";
    static constexpr const char* kSearchOrder =
        " ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";

    // False (compare by pattern) when any list but the size holds a '*'.
    static bool isExactSearch(const FilterTexts& filters);
    // Appends " WHERE col op 'text'" / " AND ..." for every list not
    // showing "All", values inserted exactly as typed, then the sort order
    // when the base is exactly the plain search.
    static std::string build(const std::string& base, const FilterTexts& filters, bool exact);
};

} // namespace korvalt
