#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

class QTimer;

namespace korvalt {

// The rows behind the results list, held compactly: every row's cells are
// one record in a chunked byte arena (a varint length before each cell's
// UTF-8 bytes), so a million rows of eleven short cells cost little more
// than their text. Cells become QStrings only when the view asks for them.
//
// Rows are addressed two ways: by id (insertion order, what addRow returns)
// and by position (the order shown). With sorted mode off, the shown order
// is whatever it was when sorting stopped, and new rows are appended at the
// end. With sorted mode on, the shown order is the text order of the key
// column, case-insensitive, ties in insertion order.
//
// Work is deferred so that filling a million rows stays linear: rows added
// are announced to the view, and sorted into place, in one batch when
// control returns to the event loop (at most a few times a second while a
// fill keeps going), or at once when a caller asks for a row by position
// (settle()).
class ResultsListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using RowId = std::size_t;

    explicit ResultsListModel(QObject* parent = nullptr);
    ~ResultsListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Columns: captions only; widths belong to the view.
    void clearColumns();
    void addColumn(const QString& caption);
    QString caption(int column) const; // throws std::out_of_range

    // Rows. Ids and cell numbers out of range throw std::out_of_range.
    void clearRows();
    RowId addRow(std::string_view text);
    // A whole row at once: cells[0] is the row's text (an empty span adds a
    // row with empty text). The same as addRow() and setCell() for each
    // further cell, without rewriting the row per cell.
    RowId addRow(std::span<const std::string_view> cells);
    void setCell(RowId row, int k, std::string_view text); // k = 0 is the row's text
    void setTag(RowId row, std::int64_t key);
    std::size_t rowTotal() const { return m_cellCount.size(); }
    // The text of cell k of a row, "" when never set. Valid until the next change.
    std::string_view cell(RowId row, int k) const;
    std::optional<std::int64_t> tag(RowId row) const;
    // Every cell of a row in one pass, into `cells` (resized to the number
    // of cells set; later cells are ""). Valid until the next change.
    void cells(RowId row, std::vector<std::string_view>& cells) const;

    // Announces pending rows to the view and brings the shown order up to
    // date. Cheap when nothing is pending (it reads no clock then: readers
    // call it for every cell).
    void settle();
    // The row shown at `position` (after settling); throws std::out_of_range.
    RowId rowAt(int position);

    void setSortKey(int key);
    void setSortOrder(int order);
    void setSorted(bool sorted);
    int sortKey() const { return m_sortKey; }
    int sortOrder() const { return m_sortOrder; }
    bool sorted() const { return m_sorted; }

    // The case-insensitive text order of the list: negative, zero or
    // positive like QString::compare with Qt::CaseInsensitive, with a fast
    // path for ASCII.
    static int compareText(std::string_view a, std::string_view b);

private:
    struct SortEntry {
        std::uint64_t prefix; // first bytes of the key, folded, big-endian; see sortEntry()
        const char* text;
        std::uint32_t length;
        std::uint32_t id;
    };

    void checkRow(RowId row) const;
    const char* record(RowId row) const;
    char* reserveTail(std::size_t bytes);
    void appendCellToTail(RowId row, int k, std::string_view text);
    void rewriteRow(RowId row, int k, std::string_view text);
    void scheduleSettle();
    void noteChange(RowId row, int k);
    void takeOutMoved();
    void reorder();
    SortEntry sortEntry(std::uint32_t id) const;

    QStringList m_captions;

    // The arena: chunks of bytes; every row's record lies within one chunk.
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::size_t m_chunkCapacity = 0; // of the last chunk
    std::size_t m_chunkUsed = 0;     // of the last chunk
    // Per row: where its record starts (chunk << 32 | offset) and how many
    // cells it holds.
    std::vector<std::uint64_t> m_recordAt;
    std::vector<std::uint32_t> m_cellCount;
    // Empty until a row gets a tag: most lists have none.
    std::vector<std::int64_t> m_tags;
    std::vector<bool> m_tagSet;
    // The row whose record ends the arena and so can grow in place.
    RowId m_tailRow = static_cast<RowId>(-1);

    // Position -> row id. Entries [0, m_ordered) are in the current sort
    // order; the rest were added since and wait to be merged in.
    std::vector<std::uint32_t> m_order;
    std::size_t m_ordered = 0;
    // Rows of the sorted part whose key cell changed since; they are taken
    // out and sorted back in with the new rows.
    std::vector<std::uint32_t> m_moved;
    // The sort keys of the sorted part, in its order, kept so that merging
    // in new rows reads them in sequence rather than hopping through the
    // arena. They point into the arena, whose bytes never move or change.
    std::vector<SortEntry> m_sortCache;
    bool m_cellsChanged = false; // cells of rows the view shows were changed
    int m_reported = 0;          // rows the view knows about

    int m_sortKey = 0;
    int m_sortOrder = 0;
    bool m_sorted = false;

    QTimer* m_settleTimer;
    bool m_settleScheduled = false;
    QElapsedTimer m_sinceSettle;
    qint64 m_settleInterval = 0; // ms, grows with the cost of a settle
};

} // namespace korvalt
