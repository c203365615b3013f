#include "database/access/DataScan.h"

#include "database/EngineError.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"

#include <algorithm>
#include <utility>

namespace korvalt::access {

namespace {

// Overflow pointers may chain through intermediate rows (flagged 0xC000 and
// holding a pointer of their own); a longer chain than this is damage.
constexpr int kMaxOverflowHops = 4;
// A row's slot number is one byte in every row pointer.
constexpr std::uint32_t kMaxSlots = 256;
constexpr std::uint8_t kBooleanColumn = 0x01;
// How many consecutive pages the walk reads at once.
constexpr std::uint32_t kRunPages = 64;

std::string pageName(std::uint32_t page) {
    return "page " + std::to_string(page);
}

RowId pointerAt(const std::uint8_t* bytes) {
    return rowId(get32(bytes) >> 8, bytes[0]);
}

// The key columns of one index that ignores Nulls, and its bit in
// TableRows::allNull.
struct NullProbe {
    std::uint64_t bit = 0;
    std::vector<std::uint16_t> columns; // Boolean columns left out: they are never Null
};

std::vector<NullProbe> nullProbes(const TableDef& table) {
    std::vector<NullProbe> probes;
    for (std::size_t k = 0; k < table.realIndexes.size() && k < kMaxNullIndexes; ++k) {
        const RealIndex& index = table.realIndexes[k];
        if (!index.ignoresNulls())
            continue;
        NullProbe probe;
        probe.bit = std::uint64_t{1} << k;
        bool hasBoolean = false;
        for (const std::uint16_t number : index.columns) {
            const auto column =
                std::find_if(table.columns.begin(), table.columns.end(),
                             [number](const ColumnDef& c) { return c.number == number; });
            // A Yes/No column keeps its value in the null mask: it is never Null.
            if (column != table.columns.end() && column->type == kBooleanColumn)
                hasBoolean = true;
            else
                probe.columns.push_back(number);
        }
        if (!hasBoolean)
            probes.push_back(std::move(probe));
    }
    return probes;
}

// The data walk's state, shared by the page and slot steps.
class Walker {
public:
    Walker(PageFile& file, const TableDef& table, FaultList& faults)
        : m_file(file), m_f(file.format()), m_faults(faults), m_probes(nullProbes(table)) {}

    void page(std::uint32_t number, const std::uint8_t* bytes);
    void resolveOverflows();
    TableRows take() { return std::move(m_rows); }
    TableRows& rows() { return m_rows; }

private:
    // A live header whose pointer still has to be followed.
    struct Header {
        std::size_t live = 0; // its place in m_rows.live
        RowId target = 0;
    };

    // Builds the sentence only while the list has room: a file damaged
    // throughout must not cost a string per row.
    template <typename Make> void fault(Make&& make) { m_faults.addWith(make); }
    // Which keys are all Null in the row; false when the row cannot hold its
    // own column count and null mask.
    bool nullBits(const std::uint8_t* row, std::size_t length, std::uint64_t& bits) const;
    std::string describeMissing(RowId target) const;

    PageFile& m_file;
    const JetFormat& m_f;
    FaultList& m_faults;
    std::vector<NullProbe> m_probes;
    TableRows m_rows;
    std::vector<Header> m_headers;
};

bool Walker::nullBits(const std::uint8_t* row, std::size_t length, std::uint64_t& bits) const {
    const std::size_t countSize = m_f.jet3 ? 1 : 2;
    if (length < countSize)
        return false;
    const std::size_t columns = m_f.jet3 ? row[0] : get16(row);
    const std::size_t maskSize = (columns + 7) / 8;
    if (columns == 0 || length < countSize + maskSize)
        return false;
    // The null mask ends the row; a set bit means the column holds a value.
    // Columns added after the row was written lie beyond its mask: Null.
    const std::uint8_t* mask = row + length - maskSize;
    bits = 0;
    for (const NullProbe& probe : m_probes) {
        const bool allNull =
            std::all_of(probe.columns.begin(), probe.columns.end(), [&](std::uint16_t n) {
                return n >= columns || (mask[n / 8] & (1u << (n % 8))) == 0;
            });
        if (allNull)
            bits |= probe.bit;
    }
    return true;
}

void Walker::page(std::uint32_t number, const std::uint8_t* bytes) {
    const auto pageSize = static_cast<std::uint32_t>(m_f.pageSize);
    const auto firstSlot = static_cast<std::uint32_t>(m_f.dataFirstSlot);
    const std::uint32_t slots = get16(bytes + m_f.dataRowCount);
    const std::uint32_t slotsEnd = firstSlot + 2 * slots;
    TableRows::PageSlots& index = m_rows.pageSlots[number];
    index.first = static_cast<std::uint32_t>(m_rows.slotLive.size());
    if (slots > kMaxSlots || slotsEnd > pageSize) {
        fault([&] {
            return "Data " + pageName(number) + " claims " + std::to_string(slots) +
                   " row slots, more than a page holds.";
        });
        return;
    }
    index.count = slots;
    m_rows.slotLive.resize(index.first + slots, TableRows::kNotLive);
    std::uint32_t lowest = pageSize;
    for (std::uint32_t slot = 0; slot < slots; ++slot)
        lowest = std::min(lowest, get16(bytes + firstSlot + 2 * slot) & kSlotOffsetMask);
    const std::uint32_t freeSpace = get16(bytes + 2);
    if (lowest < slotsEnd || freeSpace != lowest - slotsEnd)
        fault([&] {
            return "Data " + pageName(number) + " records " + std::to_string(freeSpace) +
                   " bytes of free space; its rows leave " +
                   (lowest < slotsEnd ? std::string("none") : std::to_string(lowest - slotsEnd)) +
                   ".";
        });

    // A row runs from its offset to the previous slot's offset (the page's
    // end for slot 0), whatever flags either slot carries.
    std::uint32_t end = pageSize;
    for (std::uint32_t slot = 0; slot < slots; ++slot) {
        const RowId id = rowId(number, slot);
        const std::uint32_t raw = get16(bytes + firstSlot + 2 * slot);
        const std::uint32_t start = raw & kSlotOffsetMask;
        const auto flags = static_cast<std::uint16_t>(raw & ~std::uint32_t{kSlotOffsetMask});
        const std::uint32_t rowEnd = end;
        end = start;
        if (start < slotsEnd || rowEnd > pageSize || rowEnd < start) {
            fault([&] { return "Row " + rowName(id) + " lies outside its page."; });
            continue;
        }
        const std::uint8_t* row = bytes + start;
        const std::size_t length = rowEnd - start;
        if (flags == 0 || flags == kSlotOverflowHeader) {
            m_rows.slotLive[index.first + slot] = static_cast<std::uint32_t>(m_rows.live.size());
            std::uint64_t bits = 0;
            if (flags == 0) {
                if (!nullBits(row, length, bits))
                    fault([&] { return "Row " + rowName(id) + " is too short to be a row."; });
            } else if (length < 4) {
                fault([&] {
                    return "Row " + rowName(id) +
                           " is marked as moved but is too short to say where to.";
                });
            } else {
                m_headers.push_back({m_rows.live.size(), pointerAt(row)});
            }
            m_rows.live.push_back(id);
            m_rows.allNull.push_back(bits);
            continue;
        }
        OtherSlot other;
        other.row = id;
        other.flags = flags;
        other.hasPointer = length >= 4;
        if (other.hasPointer)
            other.pointer = pointerAt(row);
        if (flags == kSlotOverflowTarget && !nullBits(row, length, other.allNull))
            fault([&] {
                return "Row " + rowName(id) + ", the new place of a moved row, is too short.";
            });
        m_rows.others.push_back(other);
    }
}

std::string Walker::describeMissing(RowId target) const {
    if (rowPage(target) >= m_file.pageCount())
        return "beyond the end of the file";
    if (!m_rows.isDataPage(rowPage(target)))
        return "on a page that is not one of the table's data pages";
    if (m_rows.liveOrdinal(target) != TableRows::kNotLive)
        return "a live row";
    return "a slot that does not exist";
}

void Walker::resolveOverflows() {
    std::vector<OtherSlot>& others = m_rows.others;
    const auto findOther = [&others](RowId id) -> OtherSlot* {
        const auto it = std::lower_bound(others.begin(), others.end(), id,
                                         [](const OtherSlot& s, RowId r) { return s.row < r; });
        return it != others.end() && it->row == id ? &*it : nullptr;
    };
    for (const Header& header : m_headers) {
        const RowId from = m_rows.live[header.live];
        RowId at = header.target;
        bool done = false;
        for (int hop = 0; hop < kMaxOverflowHops && !done; ++hop) {
            OtherSlot* slot = findOther(at);
            if (slot == nullptr) {
                fault([&] {
                    return "Moved row " + rowName(from) + " points at " + rowName(at) + ", " +
                           describeMissing(at) + ".";
                });
                done = true;
            } else if (slot->flags == kSlotOverflowTarget) {
                ++slot->claims;
                m_rows.allNull[header.live] = slot->allNull;
                done = true;
            } else if (slot->flags == kSlotDeleted && slot->hasPointer) {
                at = slot->pointer; // an intermediate hop
            } else {
                fault([&] {
                    return "Moved row " + rowName(from) + " points at " + rowName(at) +
                           ", which is not marked as a moved row's new place.";
                });
                done = true;
            }
        }
        if (!done)
            fault([&] {
                return "Moved row " + rowName(from) + " starts a chain of more than " +
                       std::to_string(kMaxOverflowHops) + " pointers.";
            });
    }
    for (const OtherSlot& slot : others) {
        if (slot.flags != kSlotOverflowTarget || slot.claims == 1)
            continue;
        m_faults.addWith([&slot] {
            if (slot.claims == 0)
                return "Row " + rowName(slot.row) +
                       " is marked as a moved row's new place, but no live row points at it.";
            return "Row " + rowName(slot.row) + " is the new place of " +
                   std::to_string(slot.claims) + " moved rows.";
        });
    }
}

} // namespace

void FaultList::add(std::string fault) {
    if (m_faults.size() < m_cap)
        m_faults.push_back(std::move(fault));
    else
        ++m_dropped;
}

std::vector<std::string> FaultList::take() {
    std::vector<std::string> out = std::move(m_faults);
    if (m_dropped > 0)
        out.push_back("... and " + std::to_string(m_dropped) + " more faults.");
    m_faults.clear();
    m_dropped = 0;
    return out;
}

std::string rowName(RowId row) {
    return "page " + std::to_string(rowPage(row)) + " slot " + std::to_string(rowSlot(row));
}

TableRows scanTableRows(PageFile& file, const TableDef& table, FaultList& faults) {
    Walker walker(file, table, faults);
    std::vector<std::uint32_t> pages;
    try {
        pages = usageMapPages(file, table.ownedMap);
    } catch (const EngineError& e) {
        faults.add("The table's map of its pages cannot be read: " + std::string(e.what()));
        return walker.take();
    }
    TableRows& rows = walker.rows();
    if (!pages.empty())
        rows.pageSlots.resize(std::size_t{*std::max_element(pages.begin(), pages.end())} + 1);
    // The row count is only a hint here: a damaged one must not cost memory.
    const std::size_t expected = std::min<std::size_t>(table.numRows, pages.size() * kMaxSlots);
    rows.live.reserve(expected);
    rows.allNull.reserve(expected);
    rows.slotLive.reserve(expected + expected / 8);

    // The map lists pages in ascending order, mostly in long runs: they are
    // read a window of consecutive pages at a time, gaps included.
    const auto pageSize = static_cast<std::size_t>(file.format().pageSize);
    std::vector<std::uint8_t> buffer(pageSize * kRunPages);
    for (std::size_t i = 0; i < pages.size();) {
        const std::uint32_t first = pages[i];
        std::size_t last = i;
        while (last + 1 < pages.size() && pages[last + 1] > pages[last] &&
               pages[last + 1] - first < kRunPages)
            ++last;
        const std::uint32_t count = pages[last] - first + 1;
        bool whole = true;
        try {
            file.readRun(first, count, buffer.data());
        } catch (const EngineError&) {
            whole = false; // page by page below, to name the page that fails
        }
        for (; i <= last; ++i) {
            const std::uint32_t number = pages[i];
            std::uint8_t* bytes = buffer.data() + pageSize * (number - first);
            if (!whole) {
                try {
                    file.read(number, bytes);
                } catch (const EngineError& e) {
                    faults.add("Page " + std::to_string(number) +
                               " of the table cannot be read: " + std::string(e.what()));
                    continue;
                }
            }
            // The map may list pages that have since become something else;
            // readers skip them, and so does this walk.
            if (bytes[0] != kPageData || get32(bytes + 4) != table.page)
                continue;
            rows.dataPages.push_back(number);
            walker.page(number, bytes);
        }
    }
    walker.resolveOverflows();
    return walker.take();
}

} // namespace korvalt::access
