#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace korvalt {

// One report that fills the results list: its statement, how it is
// completed, the column layout and writer it uses and the title it leaves
// for the export.
struct ReportSpec {
    const char* name; // as the command line names it
    const char* baseStatement;
    bool filtered; // completed by the query builder from the filter lists
    std::int16_t layout;
    std::int16_t mode;
    const char* title;
};

class ReportCatalog {
public:
    static const std::vector<ReportSpec>& all();
    // Nothing when no report has that name.
    static const ReportSpec* find(std::string_view name);
    // A report known to exist.
    static const ReportSpec& get(std::string_view name);
};

} // namespace korvalt
