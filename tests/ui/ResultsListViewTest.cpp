#include "ui/ResultsListModel.h"
#include "ui/ResultsListView.h"

#include "support/MouseClick.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvalt::testing {
namespace {

// A small deterministic generator, so that failures can be replayed.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : m_state(seed) {}
    std::uint32_t next(std::uint32_t bound) {
        m_state = m_state * 1664525u + 1013904223u;
        return (m_state >> 8) % bound;
    }

private:
    std::uint32_t m_state;
};

int sign(int v) {
    return (v > 0) - (v < 0);
}

std::vector<std::string> shown(const ResultsListView& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i)
        out.push_back(list.text(i));
    return out;
}

void addRows(ResultsListView& list, const std::vector<std::string>& texts) {
    for (const std::string& t : texts)
        list.addItem(t);
}

// Every adjacent pair of shown rows is in order by column `key`; equal keys
// keep their insertion order, which the tags record.
void expectOrdered(const ResultsListView& list, int key, bool descending) {
    const auto keyAt = [&](int pos) { return key == 0 ? list.text(pos) : list.subItem(pos, key); };
    for (int i = 1; i < list.count(); ++i) {
        const int c = ResultsListModel::compareText(keyAt(i - 1), keyAt(i));
        if (c == 0)
            ASSERT_LT(*list.tag(i - 1), *list.tag(i)) << "tie out of insertion order at " << i;
        else
            ASSERT_EQ(c > 0, descending) << "out of order at " << i;
    }
}

TEST(ResultsListViewTest, ColumnsAreAppendedWithTheirWidthsAndCleared) {
    ResultsListView list;
    list.resize(600, 300);
    // Columns are laid out before the window first shows: the width must
    // already be that of the list, not of a viewport not yet laid out.
    EXPECT_EQ(list.listWidth(), 600 - 2 * list.frameWidth());
    list.addColumn("Narrow", 3);
    EXPECT_EQ(list.columnWidthAt(0), 3);
    list.clearColumns();
    list.show();
    QApplication::processEvents();
    EXPECT_EQ(list.listWidth(), list.viewport()->width());
    EXPECT_GT(list.listWidth(), 0);

    list.addColumn("Drawing Name", 85);
    list.addColumn("Description", 200);
    list.addColumn("Line No", 0);
    ASSERT_EQ(list.columnCount(), 3);
    EXPECT_EQ(list.columnCaption(1), "Description");
    EXPECT_EQ(list.columnWidthAt(0), 85);
    EXPECT_EQ(list.columnWidthAt(1), 200);
    EXPECT_EQ(list.columnWidthAt(2), 0);
    EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), "Line No");
    const auto align = list.model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole);
    EXPECT_TRUE(align.value<Qt::Alignment>() & Qt::AlignLeft);
    EXPECT_THROW(list.columnCaption(3), std::out_of_range);
    EXPECT_THROW(list.columnWidthAt(-1), std::out_of_range);

    list.addItem("row stays");
    list.clearColumns();
    EXPECT_EQ(list.columnCount(), 0);
    EXPECT_EQ(list.count(), 1);
    // A single column as wide as the list leaves nothing to scroll.
    list.addColumn("Line Number", list.listWidth());
    EXPECT_EQ(list.columnCount(), 1);
    EXPECT_EQ(list.columnWidthAt(0), list.listWidth());
}

TEST(ResultsListViewTest, RowsKeepTextSubItemsAndTags) {
    ResultsListView list;
    for (int c = 0; c < 5; ++c)
        list.addColumn(QString("C%1").arg(c), 50);
    const auto a = list.addItem("DWG-001");
    list.setSubItem(a, 1, "Pipe, Ø 50 mm");
    list.setSubItem(a, 2, "L-100");
    list.setTag(a, 42);
    const auto b = list.addItem("DWG-002");
    list.setSubItem(b, 3, "third first"); // out of order, leaving a gap
    list.setSubItem(b, 1, "first after");
    list.setTag(b, -7);
    const auto c = list.addItem(std::string(300, 'x')); // long lengths take several bytes
    list.setSubItem(c, 1, std::string(200, 'y'));
    list.setSubItem(a, 4, "set on an older row");
    list.setSubItem(a, 1, "overwritten");
    list.setSubItem(c, 2, "");
    list.setSubItem(b, 2, "gap filled");
    // Whole rows: the same cells as a row built cell by cell, and as open
    // to later changes.
    const std::string_view whole[] = {"DWG-004", "w1", "", "w3"};
    const auto d = list.addRow(whole);
    list.setSubItem(d, 2, "w2");
    list.addRow(std::span<const std::string_view>());

    ASSERT_EQ(list.count(), 5);
    std::vector<std::string_view> cells;
    list.rowTexts(1, cells);
    EXPECT_EQ(cells, (std::vector<std::string_view>{"DWG-002", "first after", "gap filled",
                                                    "third first"}));
    list.rowTexts(3, cells);
    EXPECT_EQ(cells, (std::vector<std::string_view>{"DWG-004", "w1", "w2", "w3"}));
    EXPECT_EQ(list.tag(3), std::nullopt);
    list.rowTexts(4, cells);
    EXPECT_EQ(cells, (std::vector<std::string_view>{""}));
    EXPECT_EQ(list.text(0), "DWG-001");
    EXPECT_EQ(list.subItem(0, 1), "overwritten");
    EXPECT_EQ(list.subItem(0, 2), "L-100");
    EXPECT_EQ(list.subItem(0, 3), "");
    EXPECT_EQ(list.subItem(0, 4), "set on an older row");
    EXPECT_EQ(list.tag(0), 42);
    EXPECT_EQ(list.subItem(1, 1), "first after");
    EXPECT_EQ(list.subItem(1, 2), "gap filled");
    EXPECT_EQ(list.subItem(1, 3), "third first");
    EXPECT_EQ(list.subItem(1, 9), "");
    EXPECT_EQ(list.tag(1), -7);
    EXPECT_EQ(list.text(2), std::string(300, 'x'));
    EXPECT_EQ(list.subItem(2, 1), std::string(200, 'y'));
    EXPECT_EQ(list.tag(2), std::nullopt);

    list.setSubItem(a, 1, "Pipe, Ø 50 mm");
    EXPECT_EQ(list.model()->data(list.model()->index(0, 1)).toString(),
              QString::fromUtf8("Pipe, Ø 50 mm"));

    EXPECT_THROW(list.text(5), std::out_of_range);
    EXPECT_THROW(list.text(-1), std::out_of_range);
    EXPECT_THROW(list.subItem(0, 0), std::out_of_range);
    EXPECT_THROW(list.tag(5), std::out_of_range);
    EXPECT_THROW(list.isSelected(5), std::out_of_range);
    EXPECT_THROW(list.rowTexts(5, cells), std::out_of_range);
    EXPECT_THROW(list.setSubItem(5, 1, "x"), std::out_of_range);
    EXPECT_THROW(list.setSubItem(a, 0, "x"), std::out_of_range);
}

TEST(ResultsListViewTest, CellsBiggerThanAnArenaChunkSurvive) {
    ResultsListView list;
    const std::string huge(5u << 20, 'h');
    const auto a = list.addItem("small");
    list.setSubItem(a, 1, "before");
    list.setSubItem(a, 2, huge); // moves the growing row to a chunk of its own
    list.setSubItem(a, 3, "after");
    const auto b = list.addItem("next");
    list.setSubItem(b, 1, "fine");
    EXPECT_EQ(list.subItem(0, 1), "before");
    EXPECT_EQ(list.subItem(0, 2), huge);
    EXPECT_EQ(list.subItem(0, 3), "after");
    EXPECT_EQ(list.subItem(1, 1), "fine");
}

TEST(ResultsListViewTest, ClearingRemovesRowsButKeepsColumnsAndSortSettings) {
    ResultsListView list;
    list.clearItems(); // on an empty list: nothing to do
    list.addColumn("Tag", 40);
    list.addColumn("Size", 40);
    list.setSortKey(1);
    list.setSortOrder(1);
    list.setSorted(true);
    addRows(list, {"a", "b", "c"});
    list.selectPosition(1);
    list.clearItems();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.columnCount(), 2);
    EXPECT_EQ(list.columnCaption(1), "Size");
    EXPECT_EQ(list.sortKey(), 1);
    EXPECT_EQ(list.sortOrder(), 1);
    EXPECT_TRUE(list.sorted());
    EXPECT_FALSE(list.selectionModel()->hasSelection());

    const auto r = list.addItem("x");
    list.setSubItem(r, 1, "1");
    list.setSubItem(list.addItem("y"), 1, "2");
    EXPECT_EQ(shown(list), (std::vector<std::string>{"y", "x"}));
}

TEST(ResultsListViewTest, SortsByTheKeyColumnAsCaseInsensitiveText) {
    struct Case {
        const char* what;
        std::vector<std::string> keys; // in insertion order
        int key;
        int order;
        std::vector<int> expected; // insertion numbers, in shown order
    };
    const Case cases[] = {
        {"sizes as text", {"9", "10", "2", "100"}, 0, 0, {1, 3, 2, 0}},
        {"descending", {"9", "10", "2", "100"}, 0, 1, {0, 2, 3, 1}},
        {"case-insensitive", {"banana", "Apple", "cherry", "apple"}, 0, 0, {1, 3, 0, 2}},
        {"ties keep insertion order", {"b", "a", "B", "a", "b"}, 0, 0, {1, 3, 0, 2, 4}},
        {"descending ties too", {"b", "a", "B", "a", "b"}, 0, 1, {0, 2, 4, 1, 3}},
        {"empty first", {"x", "", "a"}, 0, 0, {1, 2, 0}},
        {"sub-item key", {"3", "1", "2"}, 1, 0, {1, 2, 0}},
        {"key beyond the columns", {"c", "a", "b"}, 7, 1, {0, 1, 2}},
        {"non-ASCII", {"Zeta", "Éclair", "eclair", "école"}, 0, 0, {2, 0, 1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResultsListView list;
        list.addColumn("A", 10);
        list.addColumn("B", 10);
        for (std::size_t i = 0; i < c.keys.size(); ++i) {
            // With key 1 the key lives in the sub-item; the text names the row.
            const auto r = list.addItem(c.key == 1 ? std::to_string(i) : c.keys[i]);
            if (c.key == 1)
                list.setSubItem(r, 1, c.keys[i]);
            list.setTag(r, static_cast<std::int64_t>(i));
        }
        list.setSortKey(c.key);
        list.setSortOrder(c.order);
        list.setSorted(true);
        std::vector<int> got;
        for (int p = 0; p < list.count(); ++p)
            got.push_back(static_cast<int>(*list.tag(p)));
        EXPECT_EQ(got, c.expected);
    }
}

TEST(ResultsListViewTest, TextOrderAgreesWithQtCaseInsensitiveCompare) {
    // The ASCII fast path must agree with Qt everywhere, also where a
    // non-ASCII letter folds onto an ASCII one (Kelvin sign, long s).
    const std::vector<std::string> pieces = {"a",  "A", "k", "K",      "s",      "S", "_", "1",
                                             "10", "é", "É", "\u212A", "\u017F", "ß", "~", " "};
    Lcg rng(7);
    for (int i = 0; i < 4000; ++i) {
        std::string a, b;
        const std::uint32_t la = rng.next(4), lb = rng.next(4);
        for (std::uint32_t j = 0; j < la; ++j)
            a += pieces[rng.next(static_cast<std::uint32_t>(pieces.size()))];
        b = rng.next(2) ? a.substr(0, a.size() / 2) : std::string();
        for (std::uint32_t j = 0; j < lb; ++j)
            b += pieces[rng.next(static_cast<std::uint32_t>(pieces.size()))];
        const int qt =
            QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive);
        ASSERT_EQ(sign(ResultsListModel::compareText(a, b)), sign(qt))
            << "'" << a << "' vs '" << b << "'";
    }
}

TEST(ResultsListViewTest, RowsAddedWhileSortedTakeTheirPlace) {
    ResultsListView list;
    list.addColumn("Text", 50);
    list.addColumn("Key", 50);
    list.setSortKey(1);
    list.setSortOrder(0);
    list.setSorted(true);
    Lcg rng(11);
    std::int64_t next = 0;
    const auto add = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const auto r = list.addItem("row");
            list.setSubItem(r, 1, "K" + std::to_string(rng.next(500)));
            list.setTag(r, next++);
        }
    };
    add(5000);
    expectOrdered(list, 1, false);
    // Reads between small batches: each merge must leave the whole list in order.
    for (int round = 0; round < 20; ++round) {
        add(37);
        ASSERT_NO_FATAL_FAILURE(expectOrdered(list, 1, false));
    }
    EXPECT_EQ(list.count(), 5000 + 20 * 37);

    // A key set after the row was already sorted moves the row.
    const auto late = list.addItem("late");
    list.setTag(late, next++);
    EXPECT_EQ(list.text(0), "late"); // empty key: first
    list.setSubItem(late, 1, "zzz");
    EXPECT_EQ(list.text(list.count() - 1), "late");
    expectOrdered(list, 1, false);

    list.setSortOrder(1);
    expectOrdered(list, 1, true);
    EXPECT_EQ(list.text(0), "late");
}

TEST(ResultsListViewTest, SortedOffKeepsTheShownOrderAndAppends) {
    ResultsListView list;
    list.addColumn("Text", 50);
    addRows(list, {"c", "a", "b"});
    EXPECT_EQ(shown(list), (std::vector<std::string>{"c", "a", "b"}));
    list.setSorted(true);
    list.addItem("0"); // still pending when sorting stops: placed first
    list.setSorted(false);
    list.addItem("aa");
    EXPECT_EQ(shown(list), (std::vector<std::string>{"0", "a", "b", "c", "aa"}));
    list.setSortKey(0);
    list.setSortOrder(1); // settings change nothing while not sorted
    EXPECT_EQ(shown(list), (std::vector<std::string>{"0", "a", "b", "c", "aa"}));
    list.setSorted(true);
    EXPECT_EQ(shown(list), (std::vector<std::string>{"c", "b", "aa", "a", "0"}));
}

TEST(ResultsListViewTest, SelectionFollowsItsRowAcrossSorting) {
    ResultsListView list;
    list.addColumn("Text", 50);
    addRows(list, {"delta", "alpha", "charlie"});
    list.selectPosition(0);
    ASSERT_TRUE(list.isSelected(0));
    list.setSorted(true);
    EXPECT_EQ(list.text(2), "delta");
    EXPECT_TRUE(list.isSelected(2));
    EXPECT_FALSE(list.isSelected(0));
    list.addItem("bravo"); // lands before the selected row
    EXPECT_EQ(list.text(3), "delta");
    EXPECT_TRUE(list.isSelected(3));
    EXPECT_EQ(list.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(list.currentIndex().row(), 3);
}

TEST(ResultsListViewTest, HeaderClickIsReportedWithoutSorting) {
    ResultsListView list;
    list.resize(500, 300);
    list.addColumn("One", 100);
    list.addColumn("Two", 100);
    list.addColumn("Three", 100);
    addRows(list, {"b", "c", "a"});
    list.show();
    QApplication::processEvents();
    list.selectPosition(0); // settles, so the view shows the rows
    std::vector<int> clicked;
    QObject::connect(&list, &ResultsListView::columnClicked,
                     [&](int index) { clicked.push_back(index); });
    QHeaderView* header = list.header();
    for (int section : {2, 0}) {
        const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
        mouseClick(header->viewport(), QPoint(x, header->height() / 2));
    }
    EXPECT_EQ(clicked, (std::vector<int>{3, 1}));
    EXPECT_FALSE(list.sorted());
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(shown(list), (std::vector<std::string>{"b", "c", "a"}));
}

TEST(ResultsListViewTest, RowClickIsReportedAndSelects) {
    ResultsListView list;
    list.resize(500, 300);
    list.addColumn("One", 100);
    list.addColumn("Two", 100);
    addRows(list, {"b", "c", "a"});
    list.show();
    QApplication::processEvents();
    list.selectPosition(0);
    std::vector<int> clicked;
    QObject::connect(&list, &ResultsListView::itemClicked,
                     [&](int position) { clicked.push_back(position); });
    const QRect cell = list.visualRect(list.model()->index(2, 1)); // second column selects too
    mouseClick(list.viewport(), cell.center());
    EXPECT_EQ(clicked, std::vector<int>{2});
    EXPECT_TRUE(list.isSelected(2));
    EXPECT_FALSE(list.isSelected(0));
}

TEST(ResultsListViewTest, TwoHundredThousandRowsOfElevenColumnsSort) {
    ResultsListView list;
    for (int c = 0; c < 11; ++c)
        list.addColumn(QString("C%1").arg(c), 60);
    Lcg rng(3);
    constexpr int rows = 200000;
    for (int i = 0; i < rows; ++i) {
        const auto r = list.addItem("DWG-" + std::to_string(rng.next(2000)));
        for (int k = 1; k <= 10; ++k)
            list.setSubItem(r, k, "v" + std::to_string(k) + "-" + std::to_string(rng.next(300)));
        list.setTag(r, i);
    }
    ASSERT_EQ(list.count(), rows);
    EXPECT_EQ(list.subItem(rows - 1, 10).substr(0, 4), "v10-");
    list.setSortKey(4);
    list.setSorted(true);
    expectOrdered(list, 4, false);
    list.setSortKey(0);
    list.setSortOrder(1);
    expectOrdered(list, 0, true);
    // A row's cells still travel together.
    EXPECT_EQ(list.subItem(rows / 2, 7).substr(0, 3), "v7-");
    EXPECT_EQ(list.model()->rowCount(), rows);
}

} // namespace
} // namespace korvalt::testing
