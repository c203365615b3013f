#include "ui/CsvExport.h"
#include "ui/ResultsListModel.h"
#include "ui/ResultsListView.h"

#include <QHeaderView>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <span>
#include <sstream>
#include <stdexcept>

namespace korvalt::testing {
namespace {

using Strings = std::vector<std::string>;

// Every row in the order shown, its cells joined by '|'.
Strings shown(const ResultsListView& list) {
    Strings rows;
    std::vector<std::string_view> cells;
    for (int position = 0; position < list.count(); ++position) {
        list.rowTexts(position, cells);
        rows.emplace_back();
        for (std::size_t k = 0; k < cells.size(); ++k)
            rows.back() += (k ? "|" : "") + std::string(cells[k]);
    }
    return rows;
}

TEST(ResultsListTest, RowsKeepTheirCellsAndTagsHoweverTheyAreWritten) {
    ResultsListView list;
    list.addColumn("Drawing", 85);
    list.addColumn("Size", 0);
    EXPECT_EQ(list.model()->headerData(1, Qt::Horizontal).toString(), "Size");
    EXPECT_EQ(
        list.model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
        Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_FALSE(list.header()->sectionsMovable());

    const auto a = list.addItem("DWG-1");
    list.setSubItem(a, 1, "one");
    list.setSubItem(a, 2, "two");
    list.setTag(a, 42);
    const auto b = list.addItem("DWG-2");
    list.setSubItem(b, 3, "gap before"); // cells 1 and 2 stay empty
    list.setSubItem(a, 4, "older row grows");
    list.setSubItem(a, 1, "rewritten");
    list.setSubItem(b, 2, "gap filled");
    const std::string longText(300, 'x'); // lengths of several bytes
    const std::string_view whole[] = {"DWG-3", longText, "", "w3"};
    const auto c = list.addRow(whole);
    list.setSubItem(c, 2, "w2");
    list.setTag(c, -7);
    list.addRow(std::span<const std::string_view>());
    const std::string huge(5u << 20, 'h'); // more than an arena chunk
    list.setSubItem(list.addItem("big"), 1, huge);
    list.setSubItem(b, 5, "after the big one");

    EXPECT_EQ(shown(list), (Strings{"DWG-1|rewritten|two||older row grows",
                                    "DWG-2||gap filled|gap before||after the big one",
                                    "DWG-3|" + longText + "|w2|w3", "", "big|" + huge}));
    EXPECT_EQ(list.subItem(1, 9), "");
    EXPECT_EQ((std::vector{list.tag(0), list.tag(1), list.tag(2)}),
              (std::vector<std::optional<std::int64_t>>{42, std::nullopt, -7}));
    EXPECT_EQ(list.model()->data(list.model()->index(0, 1)).toString(), "rewritten");
    EXPECT_FALSE(list.model()->data(list.model()->index(0, 1), Qt::EditRole).isValid());
    for (const auto& bad : std::vector<std::function<void()>>{
             [&] { list.text(5); }, [&] { list.text(-1); }, [&] { list.subItem(0, 0); },
             [&] { list.setSubItem(9, 1, "x"); }, [&] { list.setSubItem(a, 0, "x"); },
             [&] { list.setTag(9, 1); }, [&] { list.columnWidthAt(2); }})
        EXPECT_THROW(bad(), std::out_of_range);
    int repaints = 0; // a change to a row on show repaints once
    QObject::connect(list.model(), &QAbstractItemModel::dataChanged, [&] { ++repaints; });
    list.setSubItem(a, 2, "again");
    EXPECT_EQ(list.subItem(0, 2) + list.text(1), "againDWG-2");
    EXPECT_EQ(repaints, 1);
    list.selectPosition(1); // clearing takes the selection too
    list.clearItems();
    EXPECT_EQ(list.model()->rowCount(), 0);
    EXPECT_FALSE(list.selectionModel()->hasSelection());
}

TEST(ResultsListTest, SortsByTheKeyColumnAsCaseInsensitiveText) {
    // clang-format off
    const struct {
        const char* keys; // of the rows in insertion order, in the sub-item `key`
        int key;
        int order;
        const char* shown; // insertion numbers in the order shown
    } cases[] = {
        {"9|10|2|100", 1, 0, "1 3 2 0"},
        {"banana|Apple|cherry|apple|B", 1, 1, "2 0 4 1 3"},
        {"abcdefghij|abcdefgh||abcdefghi", 1, 0, "2 1 3 0"},
        {"Zeta|\u00C9clair|eclair|\u00E9cole", 1, 0, "2 0 1 3"},
        {"Z|[|a|@|`|A", 1, 0, "3 1 4 2 5 0"}, // letters fold, the signs between do not
        {"ab\u00E9|aB\u00C9|abf|abz", 1, 0, "2 3 0 1"}, // beyond ASCII after a common start
        {"\u017F|s|t|\u212A|k", 1, 0, "3 4 0 1 2"}, // long s is s, Kelvin is k
        {"c|a|b", 7, 1, "0 1 2"}, // no such column: every key is empty
        {"c|a|b", -1, 0, "0 1 2"},
        {"c|a|b", 0, 1, "2 1 0"}, // the row's own text
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        ResultsListView list;
        const QStringList keys = QString(c.keys).split('|');
        for (int i = 0; i < keys.size(); ++i) {
            const auto row = list.addItem(std::to_string(i));
            list.setSubItem(row, 1, keys[i].toStdString());
        }
        list.setSortKey(c.key);
        list.setSortOrder(c.order);
        list.setSorted(true);
        std::string order;
        for (int position = 0; position < list.count(); ++position)
            order += (position ? " " : "") + list.text(position);
        EXPECT_EQ(order, c.shown);
    }
}

TEST(ResultsListTest, RowsAddedOrChangedWhileSortedTakeTheirPlace) {
    ResultsListView list;
    list.setSortKey(1);
    list.setSorted(true);
    std::mt19937 rng(11);
    Strings keys; // by row id
    const auto add = [&](int n) {
        for (int i = 0; i < n; ++i) {
            keys.push_back("K" + std::to_string(rng() % 300));
            list.setTag(list.addItem("row"), static_cast<std::int64_t>(keys.size() - 1));
            list.setSubItem(keys.size() - 1, 1, keys.back());
        }
    };
    // Sorted by key, ties by insertion: what the list must show.
    const auto expectOrdered = [&](bool descending) {
        std::vector<std::int64_t> ids(keys.size()), shownIds;
        std::iota(ids.begin(), ids.end(), 0);
        std::stable_sort(ids.begin(), ids.end(), [&](std::int64_t x, std::int64_t y) {
            const int c = ResultsListModel::compareText(keys[x], keys[y]);
            return descending ? c > 0 : c < 0;
        });
        for (int position = 0; position < list.count(); ++position)
            shownIds.push_back(*list.tag(position));
        ASSERT_EQ(shownIds, ids);
    };
    add(2000);
    expectOrdered(false);
    for (int round = 0; round < 5; ++round) { // merged in small batches
        add(37);
        list.setSubItem(round * 100, 1, keys[round * 100] = "K" + std::to_string(round));
        ASSERT_NO_FATAL_FAILURE(expectOrdered(false));
    }
    list.setSortOrder(1);
    expectOrdered(true);
}

TEST(ResultsListTest, SortedOffKeepsTheShownOrderAndSelectionFollowsItsRow) {
    ResultsListView list;
    list.addColumn("Text", 50);
    for (const char* text : {"c", "a", "b"})
        list.addItem(text);
    list.setSorted(true);
    list.addItem("0"); // still waiting when sorting stops: placed first
    list.setSorted(false);
    list.addItem("aa");
    list.setSortOrder(1); // settings change nothing while not sorted
    EXPECT_EQ(shown(list), (Strings{"0", "a", "b", "c", "aa"}));
    list.selectPosition(1);
    list.setSorted(true);
    EXPECT_EQ(shown(list), (Strings{"c", "b", "aa", "a", "0"}));
    list.addItem("ab"); // lands before the selected row
    EXPECT_EQ(list.text(4), "a");
    EXPECT_TRUE(list.isSelected(4));
    EXPECT_FALSE(list.isSelected(1));
    EXPECT_EQ(list.selectionModel()->selectedRows().size(), 1);
}

std::string written(const std::string& title, std::int16_t layout, const ResultsListView& list) {
    std::ostringstream out;
    CsvExport::writeList(out, title, layout, list);
    return out.str();
}

// Megabytes of sorted rows go out in pieces, quoted, each padded to the layout's headings.
TEST(CsvExportTest, ListIsWrittenInTheOrderShownOneQuotedFieldPerHeading) {
    ResultsListView list;
    std::map<std::string, std::string> lines; // by row text, which sorts them
    for (int i = 0; i < 20000; ++i) {
        const std::string text = "DWG-" + std::to_string(10000 + (i * 7919) % 20000);
        const std::string said = "say \"" + std::to_string(i) + "\" " + std::string(300, 'p');
        const std::vector<std::string_view> cells = {text, said, "", "L", "", "S", "dropped"};
        list.addRow(std::span(cells.data(), i % 3 == 0 ? 1 : cells.size()));
        lines[text] = "\"" + text + "\"," +
                      (i % 3 == 0 ? "\"\",\"\",\"\",\"\",\"\"\r\n"
                                  : "\"say \"\"" + std::to_string(i) + "\"\" " +
                                        std::string(300, 'p') + "\",\"\",\"L\",\"\",\"S\"\r\n");
    }
    list.setSorted(true);
    std::string expected = "\"A \"\"B\"\"\"\r\n\"\"\r\n\"Model Tag\",\"Drawing\",\"Line Number\","
                           "\"Long Description\",\"Short Description\",\"Size\"\r\n";
    for (const auto& [text, line] : lines)
        expected += line;
    EXPECT_TRUE(written("A \"B\"", 11, list) == expected);

    // Layouts 7 and 21 share their headings; an unknown one writes the search's.
    const ResultsListView none;
    EXPECT_EQ(written("", 21, none), "\"\"\r\n\"\"\r\n\"Drawing\",\"Description\",\"Line "
                                     "Number\",\"Size\",\"Tag\"\r\n");
    EXPECT_EQ(written("", 22, none), "\"\"\r\n\"\"\r\n\"Drawing Number\"\r\n");
    EXPECT_EQ(written("", 1, none), written("", 18, none));
}

} // namespace
} // namespace korvalt::testing
