#pragma once

#include "database/access/JetFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvalt::access {

class PageFile;

struct ColumnDef {
    std::uint8_t type = 0;    // Access column type code
    std::uint16_t number = 0; // column number: its bit in a row's null mask
    bool fixed = false;
    std::string name; // as stored; ASCII letters read as such
};

// One index tree of the table ("real index"). Several logical indexes may
// share one.
struct RealIndex {
    int number = 0;
    std::vector<std::uint16_t> columns; // column numbers of the key
    std::uint32_t usedPagesMap = 0;     // row pointer of its owned-pages map
    std::uint32_t rootPage = 0;
    std::uint8_t flags = 0;
    bool unique() const { return flags & 0x01; }
    bool ignoresNulls() const { return flags & 0x02; }
};

struct LogicalIndex {
    int number = 0;
    int realIndex = 0;
    std::uint8_t type = 0;              // 0x01 primary key, 0x02 foreign key
    std::uint32_t relatedTablePage = 0; // non-zero: one side of a relationship
    std::uint8_t cascadeUpdates = 0;
    std::uint8_t cascadeDeletes = 0;
};

// A table's definition as the writer needs it, read from its TDEF chain.
struct TableDef {
    std::uint32_t page = 0; // first TDEF page: where num_rows lives
    std::uint32_t numRows = 0;
    std::uint32_t ownedMap = 0; // row pointer of the owned-pages usage map
    std::uint16_t numVarCols = 0;
    std::vector<ColumnDef> columns;
    std::vector<RealIndex> realIndexes;
    std::vector<LogicalIndex> logicalIndexes;
};

// Reads the definition starting at `tdefPage`. A page of the wrong type, a
// chain that loops or leaves the file, or counts that do not fit raise
// 3049 (damaged file).
TableDef readTableDef(PageFile& file, std::uint32_t tdefPage);

// The pages a usage map marks, in ascending order. `mapRow` is the map's
// row pointer (page << 8 | slot), as a TDEF holds it.
std::vector<std::uint32_t> usageMapPages(PageFile& file, std::uint32_t mapRow);

// The bytes of row `slot` on a data page: start offset and length, with the
// slot's flags in `flags`. Raises 3049 when the slot does not exist or lies
// outside the page.
struct RowBounds {
    int start = 0;
    int length = 0;
    std::uint16_t flags = 0;
};
RowBounds rowBounds(const JetFormat& format, const std::uint8_t* page, std::uint32_t slot,
                    const PageFile& file);

} // namespace korvalt::access
