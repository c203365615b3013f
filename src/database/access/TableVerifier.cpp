#include "database/access/TableVerifier.h"

#include "database/EngineError.h"
#include "database/access/DataScan.h"
#include "database/access/IndexTree.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"

#include <algorithm>

namespace korvalt::access {

namespace {

std::string indexName(const RealIndex& index) {
    return "Index " + std::to_string(index.number);
}

// What a slot that is not a live row is, for the sentence about an index
// entry pointing at it.
std::string slotKind(const TableRows& rows, RowId row) {
    const auto it = std::lower_bound(rows.others.begin(), rows.others.end(), row,
                                     [](const OtherSlot& s, RowId r) { return s.row < r; });
    if (it != rows.others.end() && it->row == row)
        return it->flags == kSlotOverflowTarget ? "the new place of a moved row" : "a deleted row";
    if (!rows.isDataPage(rowPage(row)))
        return "not on one of the table's data pages";
    return "a slot that does not exist";
}

// Compares the rows of an index's leaf entries with the table's live rows:
// each entry must name a live row, no row twice, and every live row must be
// there unless the index leaves it out for its Null keys. One pass over the
// entries counts each live row's appearances, one over the live rows finds
// those never counted.
void compareIndex(const RealIndex& index, std::uint64_t nullBit, const std::vector<RowId>& entries,
                  const TableRows& rows, FaultList& faults) {
    std::vector<std::uint8_t> seen(rows.live.size(), 0);
    for (const RowId entry : entries) {
        const std::uint32_t at = rows.liveOrdinal(entry);
        if (at == TableRows::kNotLive) {
            faults.addWith([&] {
                return indexName(index) + " has an entry for " + rowName(entry) + ", which is " +
                       slotKind(rows, entry) + ".";
            });
        } else if (seen[at] != 0) {
            faults.addWith(
                [&] { return indexName(index) + " lists " + rowName(entry) + " twice."; });
        } else {
            seen[at] = 1;
        }
    }
    for (std::size_t j = 0; j < seen.size(); ++j)
        if (seen[j] == 0 && (rows.allNull[j] & nullBit) == 0)
            faults.addWith([&] {
                return indexName(index) + " has no entry for the live row " +
                       rowName(rows.live[j]) + ".";
            });
}

} // namespace

void compareIndexRows(const TableDef& table, std::size_t k, const std::vector<RowId>& entries,
                      const TableRows& rows, FaultList& faults) {
    const RealIndex& index = table.realIndexes[k];
    // Rows an index may leave out are marked only for indexes that ignore
    // Nulls; beyond the first kMaxNullIndexes every row must be there.
    const std::uint64_t nullBit =
        index.ignoresNulls() && k < kMaxNullIndexes ? std::uint64_t{1} << k : std::uint64_t{0};
    compareIndex(index, nullBit, entries, rows, faults);
}

std::vector<std::string> verifyTable(PageFile& file, const TableDef& table) {
    FaultList faults;
    const TableRows rows = scanTableRows(file, table, faults);
    if (table.numRows != rows.live.size())
        faults.add("The table definition counts " + std::to_string(table.numRows) +
                   " rows, but the table holds " + std::to_string(rows.live.size()) + ".");

    for (std::size_t k = 0; k < table.realIndexes.size(); ++k) {
        const RealIndex& index = table.realIndexes[k];
        IndexCheck check;
        try {
            check = checkIndex(file, table.page, index.rootPage);
        } catch (const EngineError& e) {
            faults.add(indexName(index) + " cannot be read: " + e.what());
            continue;
        }
        for (std::string& fault : check.faults)
            faults.add(indexName(index) + ": " + std::move(fault));
        compareIndexRows(table, k, check.rows, rows, faults);
    }
    return faults.take();
}

} // namespace korvalt::access
