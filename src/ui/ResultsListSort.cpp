// The sorting half of ResultsListModel: the list's text order and the
// merge of new rows into the sorted ones.

#include "ui/ResultsListModel.h"

#include <QString>

#include <algorithm>
#include <climits>
#include <numeric>

namespace korvalt {

namespace {

// Marks a sort prefix as exact: the first eight bytes of the key were all
// ASCII (or the key ended). ASCII bytes never use the top bit, so the flag
// does not disturb comparisons between two exact prefixes.
constexpr std::uint64_t kPrefixExact = std::uint64_t{1} << 63;

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

template <class T> void release(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

} // namespace

int ResultsListModel::compareText(std::string_view a, std::string_view b) {
    if (a == b) // ties are common in a sorted column
        return 0;
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if ((ca | cb) & 0x80) {
            // Beyond ASCII, case folding is Qt's business. Everything up to
            // here was ASCII and equal, so comparing the rests decides.
            const QString qa =
                QString::fromUtf8(a.data() + i, static_cast<qsizetype>(a.size() - i));
            const QString qb =
                QString::fromUtf8(b.data() + i, static_cast<qsizetype>(b.size() - i));
            return qa.compare(qb, Qt::CaseInsensitive);
        }
        const unsigned char fa = foldAscii(ca);
        const unsigned char fb = foldAscii(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

ResultsListModel::SortEntry ResultsListModel::sortEntry(std::uint32_t id) const {
    SortEntry entry{0, nullptr, 0, id};
    if (m_sortKey < 0)
        return entry; // no such column: every key is empty
    const std::string_view key = cell(id, m_sortKey);
    entry.text = key.data();
    entry.length = static_cast<std::uint32_t>(std::min<std::size_t>(key.size(), UINT32_MAX));
    std::uint64_t prefix = 0;
    const std::size_t n = std::min<std::size_t>(key.size(), 8);
    for (std::size_t i = 0; i < 8; ++i) {
        unsigned char c = 0;
        if (i < n) {
            c = static_cast<unsigned char>(key[i]);
            if (c & 0x80)
                return entry; // not exact: leave the prefix unused
            c = foldAscii(c);
        }
        prefix = (prefix << 8) | c;
    }
    entry.prefix = prefix | kPrefixExact;
    return entry;
}

// Moves the rows whose key changed out of the sorted part, to the front of
// the unsorted rest, so that they are sorted in again like new rows.
void ResultsListModel::takeOutMoved() {
    std::vector<bool> moved(m_ordered, false);
    for (const std::uint32_t id : m_moved)
        moved[id] = true;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_ordered; ++i)
        if (!moved[m_order[i]]) {
            m_sortCache[kept] = m_sortCache[i];
            m_order[kept++] = m_order[i];
        }
    std::size_t next = kept;
    for (std::size_t id = 0; id < m_ordered; ++id)
        if (moved[id])
            m_order[next++] = static_cast<std::uint32_t>(id);
    m_ordered = kept;
    m_sortCache.resize(kept);
}

void ResultsListModel::reorder() {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    // Remember which row each persistent index (selection, current item)
    // points at, so it can follow that row to its new position.
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> rowsBefore;
    rowsBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before)
        rowsBefore.push_back(m_order[static_cast<std::size_t>(index.row())]);

    const std::size_t n = m_order.size();
    if (m_ordered == 0) { // a fresh sort: ties keep the insertion order
        std::iota(m_order.begin(), m_order.end(), std::uint32_t{0});
        release(m_sortCache);
        m_sortCache.reserve(n);
    } else if (!m_moved.empty()) {
        takeOutMoved();
    }
    release(m_moved);
    std::vector<SortEntry>& entries = m_sortCache;
    const std::size_t sortedBefore = m_ordered;
    for (std::size_t i = sortedBefore; i < n; ++i)
        entries.push_back(sortEntry(m_order[i]));

    const bool descending = m_sortOrder == 1;
    const auto precedes = [descending](const SortEntry& a, const SortEntry& b) {
        int c = 0;
        if ((a.prefix & b.prefix & kPrefixExact) != 0 && a.prefix != b.prefix)
            c = a.prefix < b.prefix ? -1 : 1;
        else
            c = compareText({a.text, a.length}, {b.text, b.length});
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.id < b.id;
    };
    const auto firstNew = entries.begin() + static_cast<std::ptrdiff_t>(sortedBefore);
    // Ids break ties, so a plain sort is as stable as a stable one, and the
    // rows added since the last sort can be merged into the sorted rest.
    std::sort(firstNew, entries.end(), precedes);
    if (sortedBefore > 0)
        std::inplace_merge(entries.begin(), firstNew, entries.end(), precedes);
    for (std::size_t i = 0; i < n; ++i)
        m_order[i] = entries[i].id;
    m_ordered = n;

    if (!before.isEmpty()) {
        std::vector<std::uint32_t> positionOf(n);
        for (std::size_t i = 0; i < n; ++i)
            positionOf[m_order[i]] = static_cast<std::uint32_t>(i);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.append(
                index(static_cast<int>(positionOf[rowsBefore[static_cast<std::size_t>(i)]]),
                      before[i].column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace korvalt
