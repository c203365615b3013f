#pragma once

#include "database/access/JetFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvalt::access {

class PageFile;
struct TableDef;

// The faults a check finds, kept short: after the first `cap` only a count
// is kept, so a badly damaged file does not produce megabytes of text.
class FaultList {
public:
    explicit FaultList(std::size_t cap = 50) : m_cap(cap) {}

    // False once the list is full: callers skip building the sentence.
    bool wantsMore() const { return m_faults.size() < m_cap; }
    void add(std::string fault);
    // Adds the sentence `make()` returns, built only while there is room.
    template <typename Make> void addWith(Make&& make) {
        if (wantsMore())
            add(make());
        else
            ++m_dropped;
    }
    std::size_t count() const { return m_faults.size() + m_dropped; }
    // The faults kept, plus one closing sentence counting those left out.
    std::vector<std::string> take();

private:
    std::vector<std::string> m_faults;
    std::size_t m_cap;
    std::size_t m_dropped = 0;
};

// How many of a table's real indexes can ignore Nulls and still have the
// rows they leave out told apart (Access allows 32 indexes a table).
constexpr std::size_t kMaxNullIndexes = 64;

// A slot that is not a live row: a deleted row (0xC000, which is also how
// an intermediate hop of an overflow chain is flagged) or an overflow
// target (0x8000 alone).
struct OtherSlot {
    RowId row = 0;
    std::uint16_t flags = 0;
    bool hasPointer = false;   // the bytes start with a row pointer (4 bytes or more)
    RowId pointer = 0;         // [slot u8][page u24 LE] read from the row's bytes
    std::uint64_t allNull = 0; // targets: as TableRows::allNull
    std::uint32_t claims = 0;  // targets: live overflow headers that reach it
};

// What a walk over a table's data pages found. Every vector is ascending by
// row.
struct TableRows {
    // Live rows by the slot indexes point at: ordinary rows and overflow
    // headers, each once.
    std::vector<RowId> live;
    // Per live row: bit k set when every key column of the table's k-th real
    // index is Null in that row (computed for indexes that ignore Nulls only;
    // for an overflowed row, from the bytes at its final target).
    std::vector<std::uint64_t> allNull;
    std::vector<OtherSlot> others;
    std::vector<std::uint32_t> dataPages; // the pages that are this table's data pages

    // What liveOrdinal answers for a row that is not live.
    static constexpr std::uint32_t kNotLive = 0xFFFFFFFFu;
    // The place of `row` in `live`, or kNotLive: constant time, for the
    // cross-check of every index entry.
    std::uint32_t liveOrdinal(RowId row) const {
        const std::uint32_t page = rowPage(row);
        if (page >= pageSlots.size() || rowSlot(row) >= pageSlots[page].count)
            return kNotLive;
        return slotLive[pageSlots[page].first + rowSlot(row)];
    }
    bool isDataPage(std::uint32_t page) const {
        return page < pageSlots.size() && pageSlots[page].first != kNotLive;
    }

    // The look-up behind liveOrdinal: by page number (up to the highest data
    // page), where the page's slots start in `slotLive` and how many it has
    // (kNotLive and 0 for other pages); per slot of every data page, its
    // place in `live` or kNotLive.
    struct PageSlots {
        std::uint32_t first = kNotLive;
        std::uint32_t count = 0;
    };
    std::vector<PageSlots> pageSlots;
    std::vector<std::uint32_t> slotLive;
};

// Walks the data pages the table's owned-pages map lists (pages of another
// type or owner are skipped, as readers do) and checks on the way: free
// space of each data page, slot offsets within their page, overflow headers
// paired with exactly one 0x8000 target of the same table. Damage goes to
// `faults`; nothing the file holds makes this throw.
TableRows scanTableRows(PageFile& file, const TableDef& table, FaultList& faults);

// "page 12 slot 3", as faults name rows.
std::string rowName(RowId row);

} // namespace korvalt::access
