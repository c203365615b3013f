#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QLabel>
#include <QPushButton>
#include <QString>

#include <algorithm>

namespace korvalt::testing {
namespace {

using Strings = std::vector<std::string>;

// Search layout: the Tag column is the ninth, Size the sixth.
constexpr int kTagHeader = 9;
constexpr int kSizeHeader = 6;

// The Size column of the whole fixture in ascending text order.
const Strings kSizesAscending = {"0.5", "0.5", "0.75", "1", "1", "1", "1", "1",   "10",  "10",
                                 "12",  "12",  "2",    "2", "2", "2", "2", "2",   "2.5", "3",
                                 "4",   "4",   "4",    "4", "4", "4", "4", "4",   "4",   "4x2",
                                 "4x2", "6",   "6",    "6", "6", "8", "8", "8x6", "8x6", "9"};

const Strings kDrawingsAscending = {"",          "AREA1.dwg", "AREA2.dwg",   "AREA3 \"north\".dwg",
                                    "AREA4.dwg", "AREA5.dwg", "O'Neil-4.dwg"};

Strings reversed(Strings values) {
    std::reverse(values.begin(), values.end());
    return values;
}

bool inTextOrder(const Strings& values, bool descending) {
    for (std::size_t i = 1; i < values.size(); ++i) {
        const int c = QString::fromStdString(values[i - 1])
                          .compare(QString::fromStdString(values[i]), Qt::CaseInsensitive);
        if (descending ? c < 0 : c > 0)
            return false;
    }
    return true;
}

class SortTest : public ReportWindowFixture {
protected:
    void SetUp() override {
        ReportWindowFixture::SetUp();
        start();
    }
    std::string sortLabel() const { return window->lblSortOrder->text().toStdString(); }
    void expectSortState(int key, int order) const {
        EXPECT_TRUE(window->lstvResults->sorted());
        EXPECT_EQ(window->lstvResults->sortKey(), key);
        EXPECT_EQ(window->lstvResults->sortOrder(), order);
        EXPECT_EQ(sortLabel(), order == 0 ? "0" : "1");
    }
};

TEST_F(SortTest, DirectionAlternatesWithEveryClickWhateverTheColumn) {
    EXPECT_EQ(sortLabel(), "1");
    EXPECT_FALSE(window->lstvResults->sorted());
    window->cmdSearchAll->click();
    ASSERT_EQ(window->lstvResults->count(), 40);

    clickHeader(kTagHeader);
    expectSortState(8, 0);
    const Strings tags = column(8);
    EXPECT_TRUE(inTextOrder(tags, false));
    EXPECT_EQ(tags.back(), "X[2]");

    clickHeader(kSizeHeader); // a new column does not start ascending again
    expectSortState(5, 1);
    EXPECT_EQ(column(5), reversed(kSizesAscending));

    clickHeader(kSizeHeader);
    expectSortState(5, 0);
    // Text order: "10" and "12" come before "2", and "9" last of all.
    EXPECT_EQ(column(5), kSizesAscending);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(SortTest, FirstColumnSortsByTheRowText) {
    window->cmdListUnique->click();
    clickHeader(1);
    expectSortState(0, 0);
    EXPECT_EQ(column(0), kDrawingsAscending);
    clickHeader(1);
    expectSortState(0, 1);
    EXPECT_EQ(column(0), reversed(kDrawingsAscending));
}

TEST_F(SortTest, SortStateCarriesOverToLaterReports) {
    window->cmdListUniqueLine->click();
    const Strings unsorted = column(0);
    ASSERT_EQ(unsorted.size(), 26u);

    window->cmdSearchAll->click();
    clickHeader(kTagHeader);
    expectSortState(8, 0);

    // One column, and the key names the ninth: every row has the same
    // (empty) key, so the rows keep the order they came in.
    window->cmdListUniqueLine->click();
    expectSortState(8, 0);
    EXPECT_EQ(column(0), unsorted);

    clickHeader(1);
    expectSortState(0, 1);
    window->cmdListUnique->click();
    EXPECT_EQ(column(0), reversed(kDrawingsAscending));

    window->cmdListUniqueLine->click();
    expectSortState(0, 1);
    const Strings lines = column(0);
    EXPECT_TRUE(inTextOrder(lines, true));
    EXPECT_EQ(lines.front(), "DN50-W-4002");
    EXPECT_EQ(lines.back(), "");
    Strings same = lines;
    std::sort(same.begin(), same.end());
    Strings before = unsorted;
    std::sort(before.begin(), before.end());
    EXPECT_EQ(same, before);
}

TEST_F(SortTest, ResetAllLeavesTheSortAlone) {
    clickHeader(kSizeHeader); // the very first click, on the empty list
    expectSortState(5, 0);
    window->cmdReset->click();
    expectSortState(5, 0);
    window->cmdSearchAll->click();
    expectSortState(5, 0);
    EXPECT_EQ(column(5), kSizesAscending);
}

} // namespace
} // namespace korvalt::testing
