#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace korvalt {
class ResultsListView;
}

namespace korvalt::testing {

// One row of the results list as the user sees it, plus its hidden key.
struct ListRow {
    std::string text;
    std::vector<std::string> subItems;
    std::optional<std::int64_t> key;

    bool operator==(const ListRow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ListRow& row);

// Every row of the list in the order shown, with sub-items 1..subItems.
std::vector<ListRow> snapshot(const ResultsListView& list, int subItems);

} // namespace korvalt::testing
