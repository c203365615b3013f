#include "results/ListSnapshot.h"

#include "ui/ResultsListView.h"

namespace korvalt::testing {

std::ostream& operator<<(std::ostream& out, const ListRow& row) {
    out << '"' << row.text << '"';
    for (const auto& sub : row.subItems) {
        out << " | \"" << sub << '"';
    }
    if (row.key) {
        out << " key " << *row.key;
    }
    return out;
}

std::vector<ListRow> snapshot(const ResultsListView& list, int subItems) {
    std::vector<ListRow> rows;
    for (int position = 0; position < list.count(); ++position) {
        ListRow row{list.text(position), {}, list.tag(position)};
        for (int k = 1; k <= subItems; ++k) {
            row.subItems.push_back(list.subItem(position, k));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace korvalt::testing
