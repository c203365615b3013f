#include "ui/ResultsListView.h"

#include "ui/ResultsListModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <stdexcept>

namespace korvalt {

ResultsListView::ResultsListView(QWidget* parent)
    : QTreeView(parent), m_model(new ResultsListModel(this)) {
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The list sorts only when told to; a header click is just reported.
    setSortingEnabled(false);
    setHeaderHidden(false);
    header()->setStretchLastSection(false);
    // Column widths are fractions of the list's width and may be tiny; the
    // style's minimum would widen them.
    header()->setMinimumSectionSize(0);
    header()->setSectionsClickable(true);
    // Columns stay in the order the layout gives them: the export writes
    // that order, so the screen must show it too.
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setSortIndicatorShown(false);

    connect(header(), &QHeaderView::sectionClicked, this, [this](int section) {
        emit columnClicked(section + 1);
        // The header flips its indicator on a click by itself; show what
        // the list is really sorted by.
        showSortIndicator();
    });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { emit itemClicked(index.row()); });
}

ResultsListView::~ResultsListView() = default;

int ResultsListView::listWidth() const {
    // Until the list has taken its size, its viewport still has the size it
    // was born with; the list's own width, less the frame, is what it will get.
    if (!testAttribute(Qt::WA_PendingResizeEvent)) {
        const int visible = viewport()->width();
        if (visible > 0)
            return visible;
    }
    return std::max(0, width() - 2 * frameWidth());
}

void ResultsListView::clearColumns() {
    m_model->clearColumns();
}

void ResultsListView::addColumn(const QString& caption, int width) {
    m_model->addColumn(caption);
    setColumnWidth(m_model->columnCount() - 1, width);
}

int ResultsListView::columnCount() const {
    return m_model->columnCount();
}

QString ResultsListView::columnCaption(int column) const {
    return m_model->caption(column);
}

int ResultsListView::columnWidthAt(int column) const {
    if (column < 0 || column >= m_model->columnCount())
        throw std::out_of_range("no such column");
    return columnWidth(column);
}

void ResultsListView::clearItems() {
    m_model->clearRows();
}

ResultsListView::RowId ResultsListView::addItem(std::string_view text) {
    return m_model->addRow(text);
}

void ResultsListView::setSubItem(RowId row, int k, std::string_view text) {
    if (k < 1)
        throw std::out_of_range("sub-items count from 1");
    m_model->setCell(row, k, text);
}

ResultsListView::RowId ResultsListView::addRow(std::span<const std::string_view> cells) {
    return m_model->addRow(cells);
}

void ResultsListView::setTag(RowId row, std::int64_t key) {
    m_model->setTag(row, key);
}

int ResultsListView::count() const {
    return static_cast<int>(m_model->rowTotal());
}

std::string ResultsListView::text(int position) const {
    return std::string(m_model->cell(m_model->rowAt(position), 0));
}

std::string ResultsListView::subItem(int position, int k) const {
    if (k < 1)
        throw std::out_of_range("sub-items count from 1");
    return std::string(m_model->cell(m_model->rowAt(position), k));
}

void ResultsListView::rowTexts(int position, std::vector<std::string_view>& cells) const {
    m_model->cells(m_model->rowAt(position), cells);
}

std::optional<std::int64_t> ResultsListView::tag(int position) const {
    return m_model->tag(m_model->rowAt(position));
}

bool ResultsListView::isSelected(int position) const {
    m_model->rowAt(position); // settles and checks the position
    return selectionModel()->isRowSelected(position, QModelIndex());
}

void ResultsListView::selectPosition(int position) {
    m_model->rowAt(position);
    selectionModel()->setCurrentIndex(m_model->index(position, 0),
                                      QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
}

void ResultsListView::setSortKey(int key) {
    m_model->setSortKey(key);
    showSortIndicator();
}

void ResultsListView::setSortOrder(int order) {
    m_model->setSortOrder(order);
    showSortIndicator();
}

void ResultsListView::setSorted(bool sorted) {
    m_model->setSorted(sorted);
    showSortIndicator();
}

int ResultsListView::sortKey() const {
    return m_model->sortKey();
}

int ResultsListView::sortOrder() const {
    return m_model->sortOrder();
}

bool ResultsListView::sorted() const {
    return m_model->sorted();
}

void ResultsListView::showSortIndicator() {
    header()->setSortIndicatorShown(m_model->sorted());
    header()->setSortIndicator(m_model->sorted() ? m_model->sortKey() : -1,
                               m_model->sortOrder() == 1 ? Qt::DescendingOrder
                                                         : Qt::AscendingOrder);
}

} // namespace korvalt
