#include "results/ReportCatalog.h"

#include <stdexcept>
#include <string>

namespace korvalt {

const std::vector<ReportSpec>& ReportCatalog::all() {
    static const std::vector<ReportSpec> reports = {
        {"search", "SELECT * FROM PIPE", true, 18, 1, "Selective List of Items in Database"},
        {"require-line", "SELECT * FROM PIPE", true, 21, 3, "These Items Require a Line Number"},
        {"require-tag", "SELECT * FROM PIPE", true, 7, 7, "These Items Require a Tag"},
        {"unique-lines", "SELECT DISTINCT LINE_NUM FROM Pipe", true, 20, 19,
         "List of line Numbers"},
        {"duplicate-tags", "SELECT * FROM PIPE", true, 11, 11, "List of Duplicate Tags"},
        {"model-files", "SELECT DISTINCT DWG_NAME FROM Pipe", false, 22, 18,
         "List of Drawing Numbers in Database"},
    };
    return reports;
}

const ReportSpec* ReportCatalog::find(std::string_view name) {
    for (const ReportSpec& report : all()) {
        if (name == report.name)
            return &report;
    }
    return nullptr;
}

const ReportSpec& ReportCatalog::get(std::string_view name) {
    const ReportSpec* report = find(name);
    if (!report)
        throw std::out_of_range("no report named " + std::string(name));
    return *report;
}

} // namespace korvalt
