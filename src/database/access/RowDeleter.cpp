#include "database/access/RowDeleter.h"

#include "database/access/PageFile.h"
#include "database/access/TableDef.h"

#include <algorithm>
#include <string>

namespace korvalt::access {

namespace {

// Access writes a moved row once; a row moved again may pass through an
// intermediate slot. Anything longer is not a chain Access leaves.
constexpr int kMaxHops = 4;

std::string where(RowId row) {
    return "row " + std::to_string(rowSlot(row)) + " of page " + std::to_string(rowPage(row));
}

// The data page holding `row`, checked to belong to the table.
const std::uint8_t* tablePage(PageFile& file, const TableDef& table, RowId row) {
    if (rowPage(row) == 0 || rowPage(row) >= file.pageCount())
        file.damaged(where(row) + " lies outside the file");
    const std::uint8_t* page = file.page(rowPage(row));
    if (page[0] != kPageData || get32(page + 4) != table.page)
        file.damaged(where(row) + " is not on a data page of the table");
    return page;
}

void setSlotFlags(PageFile& file, RowId row, std::uint16_t flags) {
    const JetFormat& f = file.format();
    std::uint8_t* page = file.modify(rowPage(row));
    std::uint8_t* slot = page + f.dataFirstSlot + 2 * rowSlot(row);
    put16(slot, (get16(slot) & kSlotOffsetMask) | flags);
}

void deleteRow(PageFile& file, const TableDef& table, RowId row) {
    const JetFormat& f = file.format();
    const std::uint8_t* page = tablePage(file, table, row);
    RowBounds bounds = rowBounds(f, page, rowSlot(row), file);
    if (bounds.flags == 0) {
        setSlotFlags(file, row, kSlotDeleted);
        return;
    }
    if (bounds.flags != kSlotOverflowHeader)
        file.damaged(where(row) + " is not a live row");
    setSlotFlags(file, row, kSlotDeleted);
    // Follow the pointer to where the row lives now; that slot carries the
    // moved-row flag alone, which older readers take for a live row, so it
    // must be marked deleted as well.
    RowId at = row;
    for (int hop = 0; hop < kMaxHops; ++hop) {
        if (bounds.length < 4)
            file.damaged(where(at) + " is too short for the pointer to its moved row");
        const RowId target = get32(file.page(rowPage(at)) + bounds.start);
        page = tablePage(file, table, target);
        bounds = rowBounds(f, page, rowSlot(target), file);
        if (bounds.flags == kSlotOverflowTarget) {
            setSlotFlags(file, target, kSlotDeleted);
            return;
        }
        // An intermediate hop is itself a pointer, marked with both flags.
        if (bounds.flags != kSlotDeleted)
            file.damaged(where(target) + " is not the moved row " + where(row) + " points to");
        at = target;
    }
    file.damaged("the moved row " + where(row) + " is behind too many pointers");
}

} // namespace

void deleteDataRows(PageFile& file, const TableDef& table, const std::vector<RowId>& rows) {
    std::vector<RowId> unique = rows;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    if (unique.size() > table.numRows)
        file.damaged("the table counts fewer rows than are being deleted");
    for (const RowId row : unique)
        deleteRow(file, table, row);
    std::uint8_t* tdef = file.modify(table.page);
    put32(tdef + file.format().tdefNumRows,
          table.numRows - static_cast<std::uint32_t>(unique.size()));
}

} // namespace korvalt::access
