#include "ui/ResultsListModel.h"

#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

namespace korvalt {

namespace {

// New chunks are this big unless one record needs more. Pages are only
// touched as they fill, so a mostly empty last chunk costs address space,
// not memory.
constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
// While a fill keeps going, new rows are announced to the view at most
// this often, and less often as the list grows: each announcement costs a
// merge and the view a relayout of every row, so announcing on every
// event-loop turn could make a long fill quadratic.
constexpr qint64 kSettleEveryMs = 100;
constexpr qint64 kRowsPerExtraMs = 5000;
constexpr ResultsListModel::RowId kNoRow = static_cast<ResultsListModel::RowId>(-1);

std::size_t varintSize(std::size_t value) {
    std::size_t n = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++n;
    }
    return n;
}

char* writeVarint(char* out, std::size_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<char>(value);
    return out;
}

std::size_t readVarint(const char*& in) {
    std::size_t value = 0;
    int shift = 0;
    for (;;) {
        const auto byte = static_cast<unsigned char>(*in++);
        value |= static_cast<std::size_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            return value;
        shift += 7;
    }
}

// Steps over `cells` cells of a record.
const char* skipCells(const char* p, std::size_t cells) {
    for (std::size_t i = 0; i < cells; ++i) {
        const std::size_t length = readVarint(p);
        p += length;
    }
    return p;
}

char* writeCell(char* out, std::string_view text) {
    out = writeVarint(out, text.size());
    if (!text.empty())
        std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

template <class T> void release(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

} // namespace

ResultsListModel::ResultsListModel(QObject* parent)
    : QAbstractTableModel(parent), m_settleTimer(new QTimer(this)) {
    m_settleTimer->setSingleShot(true);
    connect(m_settleTimer, &QTimer::timeout, this, [this] {
        m_settleScheduled = false;
        settle();
    });
    m_sinceSettle.start();
    m_settleInterval = kSettleEveryMs;
}

ResultsListModel::~ResultsListModel() = default;

int ResultsListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_reported;
}

int ResultsListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_captions.size());
}

QVariant ResultsListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_reported)
        return {};
    const std::string_view text =
        cell(m_order[static_cast<std::size_t>(index.row())], index.column());
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant ResultsListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_captions.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_captions[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags ResultsListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultsListModel::clearColumns() {
    if (m_captions.isEmpty())
        return;
    beginRemoveColumns(QModelIndex(), 0, static_cast<int>(m_captions.size()) - 1);
    m_captions.clear();
    endRemoveColumns();
}

void ResultsListModel::addColumn(const QString& caption) {
    const auto column = static_cast<int>(m_captions.size());
    beginInsertColumns(QModelIndex(), column, column);
    m_captions.append(caption);
    endInsertColumns();
}

QString ResultsListModel::caption(int column) const {
    if (column < 0 || column >= m_captions.size())
        throw std::out_of_range("no such column");
    return m_captions[column];
}

void ResultsListModel::clearRows() {
    beginResetModel();
    // Release the memory too: the next report may be far smaller.
    release(m_chunks);
    m_chunkCapacity = 0;
    m_chunkUsed = 0;
    release(m_recordAt);
    release(m_cellCount);
    release(m_tags);
    release(m_tagSet);
    m_tailRow = kNoRow;
    release(m_order);
    m_ordered = 0;
    m_reported = 0;
    endResetModel();
}

char* ResultsListModel::reserveTail(std::size_t bytes) {
    if (m_chunks.empty() || m_chunkCapacity - m_chunkUsed < bytes) {
        const std::size_t capacity = std::max(kChunkBytes, bytes);
        if (capacity > UINT32_MAX || m_chunks.size() >= UINT32_MAX)
            throw std::length_error("results list row too large");
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(capacity));
        m_chunkCapacity = capacity;
        m_chunkUsed = 0;
    }
    return m_chunks.back().get() + m_chunkUsed;
}

const char* ResultsListModel::record(RowId row) const {
    const std::uint64_t at = m_recordAt[row];
    return m_chunks[at >> 32].get() + (at & 0xffffffffu);
}

ResultsListModel::RowId ResultsListModel::addRow(std::string_view text) {
    return addRow(std::span<const std::string_view>(&text, 1));
}

ResultsListModel::RowId ResultsListModel::addRow(std::span<const std::string_view> cells) {
    if (cells.empty()) {
        const std::string_view none;
        return addRow(std::span<const std::string_view>(&none, 1));
    }
    const RowId row = m_cellCount.size();
    if (row >= static_cast<RowId>(INT_MAX) || cells.size() > INT_MAX)
        throw std::length_error("results list full");
    std::size_t bytes = 0;
    for (const std::string_view text : cells)
        bytes += varintSize(text.size()) + text.size();
    char* out = reserveTail(bytes);
    for (const std::string_view text : cells)
        out = writeCell(out, text);
    m_recordAt.push_back((static_cast<std::uint64_t>(m_chunks.size() - 1) << 32) | m_chunkUsed);
    m_chunkUsed += bytes;
    m_cellCount.push_back(static_cast<std::uint32_t>(cells.size()));
    if (!m_tags.empty()) {
        m_tags.push_back(0);
        m_tagSet.push_back(false);
    }
    m_order.push_back(static_cast<std::uint32_t>(row));
    m_tailRow = row;
    scheduleSettle();
    return row;
}

void ResultsListModel::checkRow(RowId row) const {
    if (row >= m_cellCount.size())
        throw std::out_of_range("no such row");
}

void ResultsListModel::setCell(RowId row, int k, std::string_view text) {
    checkRow(row);
    if (k < 0)
        throw std::out_of_range("no such cell");
    if (row == m_tailRow && static_cast<std::uint32_t>(k) >= m_cellCount[row])
        appendCellToTail(row, k, text);
    else
        rewriteRow(row, k, text);
    noteChange(row, k);
}

// The usual case: the row just added gets its cells left to right, and its
// record simply grows at the end of the arena.
void ResultsListModel::appendCellToTail(RowId row, int k, std::string_view text) {
    const std::size_t gap = static_cast<std::size_t>(k) - m_cellCount[row];
    const std::size_t bytes = gap + varintSize(text.size()) + text.size();
    if (m_chunkCapacity - m_chunkUsed < bytes) {
        // The record must stay in one chunk: move it to a fresh one.
        const char* old = record(row);
        const auto size = static_cast<std::size_t>(m_chunks.back().get() + m_chunkUsed - old);
        m_chunkCapacity = 0;
        m_chunkUsed = 0;
        char* moved = reserveTail(size + bytes);
        std::memcpy(moved, old, size);
        m_recordAt[row] = static_cast<std::uint64_t>(m_chunks.size() - 1) << 32;
        m_chunkUsed = size;
    }
    char* out = m_chunks.back().get() + m_chunkUsed;
    std::memset(out, 0, gap); // each zero byte is an empty cell
    writeCell(out + gap, text);
    m_chunkUsed += bytes;
    m_cellCount[row] = static_cast<std::uint32_t>(k) + 1;
}

// Any other change writes the row's whole record anew at the end of the
// arena; the old bytes are left unused.
void ResultsListModel::rewriteRow(RowId row, int k, std::string_view text) {
    const auto cell = static_cast<std::size_t>(k);
    const std::size_t cells = m_cellCount[row];
    const char* old = record(row);
    const char* end = skipCells(old, cells);
    const char* before = cell < cells ? skipCells(old, cell) : end; // bytes kept ahead
    const char* after = cell < cells ? skipCells(before, 1) : end;  // bytes kept behind
    const std::size_t gap = cell > cells ? cell - cells : 0;
    const auto head = static_cast<std::size_t>(before - old);
    const auto tail = static_cast<std::size_t>(end - after);
    const std::size_t bytes = head + gap + varintSize(text.size()) + text.size() + tail;

    char* out = reserveTail(bytes);
    // reserveTail never frees a chunk, so `old` is still good.
    std::memcpy(out, old, head);
    std::memset(out + head, 0, gap);
    char* p = writeCell(out + head + gap, text);
    if (tail > 0)
        std::memcpy(p, after, tail);
    m_recordAt[row] = (static_cast<std::uint64_t>(m_chunks.size() - 1) << 32) | m_chunkUsed;
    m_chunkUsed += bytes;
    m_cellCount[row] = static_cast<std::uint32_t>(std::max(cells, cell + 1));
    m_tailRow = row;
}

// Rows already sorted or on screen need another look when their cells change.
void ResultsListModel::noteChange(RowId row, int k) {
    if (row >= static_cast<RowId>(m_reported) && row >= m_ordered)
        return; // new since the last settle: it will be handled as a new row anyway
    // Every row in the sorted part was there at the last sort, and rows get
    // ids in the order they come, so the ids of the sorted part are
    // exactly those below m_ordered; likewise for the rows on screen.
    if (m_sorted && k == m_sortKey && row < m_ordered)
        m_moved.push_back(static_cast<std::uint32_t>(row));
    if (row < static_cast<RowId>(m_reported))
        m_cellsChanged = true;
    scheduleSettle();
}

void ResultsListModel::setTag(RowId row, std::int64_t key) {
    checkRow(row);
    if (m_tags.empty()) { // the first tag of the list
        m_tags.resize(m_cellCount.size());
        m_tagSet.resize(m_cellCount.size());
    }
    m_tags[row] = key;
    m_tagSet[row] = true;
    noteChange(row, -1);
}

std::string_view ResultsListModel::cell(RowId row, int k) const {
    checkRow(row);
    if (k < 0)
        throw std::out_of_range("no such cell");
    if (static_cast<std::uint32_t>(k) >= m_cellCount[row])
        return {};
    const char* p = skipCells(record(row), static_cast<std::size_t>(k));
    const std::size_t length = readVarint(p);
    return {p, length};
}

void ResultsListModel::cells(RowId row, std::vector<std::string_view>& cells) const {
    checkRow(row);
    const std::size_t count = m_cellCount[row];
    cells.resize(count);
    const char* p = record(row);
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t length = readVarint(p);
        cells[k] = {p, length};
        p += length;
    }
}

std::optional<std::int64_t> ResultsListModel::tag(RowId row) const {
    checkRow(row);
    if (m_tagSet.empty() || !m_tagSet[row])
        return std::nullopt;
    return m_tags[row];
}

ResultsListModel::RowId ResultsListModel::rowAt(int position) {
    settle();
    if (position < 0 || static_cast<std::size_t>(position) >= m_order.size())
        throw std::out_of_range("no row at that position");
    return m_order[static_cast<std::size_t>(position)];
}

void ResultsListModel::scheduleSettle() {
    if (m_settleScheduled)
        return;
    m_settleScheduled = true;
    const qint64 since = m_sinceSettle.elapsed();
    m_settleTimer->start(since >= m_settleInterval ? 0
                                                   : static_cast<int>(m_settleInterval - since));
}

void ResultsListModel::settle() {
    const bool reorderDue = m_sorted && (m_ordered < m_order.size() || !m_moved.empty());
    if (static_cast<std::size_t>(m_reported) == m_order.size() && !m_cellsChanged && !reorderDue)
        return;
    QElapsedTimer cost;
    cost.start();
    const auto total = static_cast<int>(m_order.size());
    if (m_reported < total) {
        // The new rows go in at the end first, unsorted, just as they sit
        // at the end of the order; sorting them into place follows as a
        // layout change, which carries the selection along.
        beginInsertRows(QModelIndex(), m_reported, total - 1);
        m_reported = total;
        endInsertRows();
    }
    if (m_cellsChanged) {
        m_cellsChanged = false;
        if (m_reported > 0 && !m_captions.isEmpty())
            emit dataChanged(index(0, 0),
                             index(m_reported - 1, static_cast<int>(m_captions.size()) - 1),
                             {Qt::DisplayRole});
    }
    if (m_sorted && (m_ordered < m_order.size() || !m_moved.empty()))
        reorder();
    m_settleInterval = std::max(kSettleEveryMs, 2 * cost.elapsed()) +
                       static_cast<qint64>(m_order.size()) / kRowsPerExtraMs;
    m_sinceSettle.restart();
}

void ResultsListModel::setSortKey(int key) {
    if (key == m_sortKey)
        return;
    m_sortKey = key;
    if (m_sorted) {
        m_ordered = 0;
        scheduleSettle();
    }
}

void ResultsListModel::setSortOrder(int order) {
    if (order == m_sortOrder)
        return;
    m_sortOrder = order;
    if (m_sorted) {
        m_ordered = 0;
        scheduleSettle();
    }
}

void ResultsListModel::setSorted(bool sorted) {
    if (sorted == m_sorted)
        return;
    if (!sorted) {
        // Rows added while sorted take their place first; from here on the
        // shown order stays as it is and new rows go to the end.
        settle();
        m_sorted = false;
        release(m_sortCache);
        return;
    }
    m_sorted = true;
    m_ordered = 0;
    scheduleSettle();
}

} // namespace korvalt
