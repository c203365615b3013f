#pragma once

#include <QTreeView>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt {

class ResultsListModel;

// The results list: a report-style list of rows of text. Each row has its
// own text (first column), numbered sub-items (columns 2, 3, ...) and one
// optional hidden key. Rows are held compactly in the model, never as
// widgets, so a million rows stay responsive.
//
// Rows are added in insertion order and addressed by the id that
// addItem() returns; reading goes by position in the order shown (from 0),
// which follows the sort state when sorted mode is on.
class ResultsListView : public QTreeView {
    Q_OBJECT
public:
    using RowId = std::size_t;

    explicit ResultsListView(QWidget* parent = nullptr);
    ~ResultsListView() override;

    // Columns.
    int listWidth() const; // current width, in the units column widths take
    void clearColumns();
    void addColumn(const QString& caption, int width);
    int columnCount() const;
    QString columnCaption(int column) const;
    int columnWidthAt(int column) const;

    // Rows.
    void clearItems(); // columns and sort settings stay
    RowId addItem(std::string_view text);
    void setSubItem(RowId row, int k, std::string_view text); // k from 1
    // A row with its text (cells[0]) and sub-items 1, 2, ... in one step.
    RowId addRow(std::span<const std::string_view> cells);
    void setTag(RowId row, std::int64_t key);
    int count() const;
    std::string text(int position) const;
    std::string subItem(int position, int k) const; // "" when never set
    // The text and sub-items of the row at `position` in one pass: cells[k]
    // as subItem(position, k), cells[0] the text; sub-items beyond the last
    // one set are left out. Valid until the list changes.
    void rowTexts(int position, std::vector<std::string_view>& cells) const;
    std::optional<std::int64_t> tag(int position) const;
    bool isSelected(int position) const;
    void selectPosition(int position); // for keyboard-free callers and tests

    // Sorting: by the text of column `key` (0 = first column), ascending
    // (order 0) or descending (order 1). While sorted mode is on, the rows
    // are kept in that order as they are added.
    void setSortKey(int key);
    void setSortOrder(int order);
    void setSorted(bool sorted);
    int sortKey() const;
    int sortOrder() const;
    bool sorted() const;

signals:
    // A header was clicked; `index` counts from 1.
    void columnClicked(int index);
    // A row was clicked; `position` counts from 0.
    void itemClicked(int position);

private:
    void showSortIndicator();

    ResultsListModel* m_model;
};

} // namespace korvalt
