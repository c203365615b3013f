#pragma once

#include <cstdint>
#include <cstring>

namespace korvalt::access {

// Where things sit on the pages of the two Access file generations Korvalt
// changes: Jet 3 (Access 97, 2 KiB pages) and Jet 4 (Access 2000-2003,
// 4 KiB pages). Offsets are from the start of a page.
struct JetFormat {
    bool jet3 = false;
    int pageSize = 0;

    // Data pages: type 0x01, free space u16 at 2, owning TDEF page u32 at 4,
    // then the number of row slots and the slots themselves (u16 each).
    int dataRowCount = 0;
    int dataFirstSlot = 0;

    // Table definition (TDEF) pages, type 0x02, chained through u32 at 4.
    // The definition is one byte stream: the first page whole, then each
    // following page from byte 8 on.
    int tdefNumRows = 0;    // u32 live rows of the table
    int tdefNumVarCols = 0; // u16
    int tdefNumCols = 0;    // u16
    int tdefNumIndexes = 0; // u32 logical indexes
    int tdefNumReal = 0;    // u32 real indexes (index trees)
    int tdefOwnedMap = 0;   // u32 row pointer of the owned-pages usage map
    int tdefFreeMap = 0;    // u32 row pointer of the free-space usage map
    int tdefBlocks = 0;     // first real-index count block
    int realCountSize = 0;  // bytes per real-index count block
    int columnSize = 0;     // bytes per column block
    int columnNumber = 0;   // u8 column number inside a column block
    int columnFlags = 0;    // u8 flags (0x01 fixed length)
    int columnFixedOffset = 0;
    int columnVarIndex = 0;
    bool nameLengthIsByte = false; // names: u8 length (Jet 3) or u16 (Jet 4)
    int realIndexSize = 0;         // bytes per real-index block
    int realIndexLead = 0;         // unknown bytes before its key columns
    int realIndexFlags = 0;        // u8 flags inside the block
    int logicalIndexSize = 0;
    int logicalIndexLead = 0; // unknown bytes before its index number
    int logicalIndexType = 0; // u8 0x01 primary key, 0x02 foreign key

    // Index pages: type 0x03 node, 0x04 leaf.
    int indexPrev = 0;
    int indexNext = 0;
    int indexTail = 0; // node pages: child page without a stored entry
    int indexPrefix = 0;
    bool prefixIsByte = false; // u8 on Jet 3 (the next byte is kept as found), u16 on Jet 4
    int indexMask = 0;         // entry-end bitmask
    int indexMaskSize = 0;
    int indexEntries = 0;  // first entry byte
    int indexCapacity = 0; // bytes the entries may take

    static const JetFormat& jet3Format() {
        static const JetFormat f = [] {
            JetFormat j;
            j.jet3 = true;
            j.pageSize = 2048;
            j.dataRowCount = 8;
            j.dataFirstSlot = 10;
            j.tdefNumRows = 12;
            j.tdefNumVarCols = 23;
            j.tdefNumCols = 25;
            j.tdefNumIndexes = 27;
            j.tdefNumReal = 31;
            j.tdefOwnedMap = 35;
            j.tdefFreeMap = 39;
            j.tdefBlocks = 43;
            j.realCountSize = 8;
            j.columnSize = 18;
            j.columnNumber = 1;
            j.columnFlags = 13;
            j.columnFixedOffset = 14;
            j.columnVarIndex = 3;
            j.nameLengthIsByte = true;
            j.realIndexSize = 39;
            j.realIndexLead = 0;
            j.realIndexFlags = 38;
            j.logicalIndexSize = 20;
            j.logicalIndexLead = 0;
            j.logicalIndexType = 19;
            j.indexPrev = 8;
            j.indexNext = 12;
            j.indexTail = 16;
            j.indexPrefix = 0x14;
            j.prefixIsByte = true;
            j.indexMask = 0x16;
            j.indexMaskSize = 226;
            j.indexEntries = 0xF8;
            j.indexCapacity = 1800;
            return j;
        }();
        return f;
    }

    static const JetFormat& jet4Format() {
        static const JetFormat f = [] {
            JetFormat j;
            j.jet3 = false;
            j.pageSize = 4096;
            j.dataRowCount = 12;
            j.dataFirstSlot = 14;
            j.tdefNumRows = 16;
            j.tdefNumVarCols = 43;
            j.tdefNumCols = 45;
            j.tdefNumIndexes = 47;
            j.tdefNumReal = 51;
            j.tdefOwnedMap = 55;
            j.tdefFreeMap = 59;
            j.tdefBlocks = 63;
            j.realCountSize = 12;
            j.columnSize = 25;
            j.columnNumber = 5;
            j.columnFlags = 15;
            j.columnFixedOffset = 21;
            j.columnVarIndex = 7;
            j.nameLengthIsByte = false;
            j.realIndexSize = 52;
            j.realIndexLead = 4;
            j.realIndexFlags = 46;
            j.logicalIndexSize = 28;
            j.logicalIndexLead = 4;
            j.logicalIndexType = 23;
            j.indexPrev = 12;
            j.indexNext = 16;
            j.indexTail = 20;
            j.indexPrefix = 0x18;
            j.prefixIsByte = false;
            j.indexMask = 0x1B;
            j.indexMaskSize = 453;
            j.indexEntries = 0x1E0;
            j.indexCapacity = 3616;
            return j;
        }();
        return f;
    }
};

// Page types (byte 0).
constexpr std::uint8_t kPageData = 0x01;
constexpr std::uint8_t kPageTableDef = 0x02;
constexpr std::uint8_t kPageIndexNode = 0x03;
constexpr std::uint8_t kPageIndexLeaf = 0x04;

// Row slot flags on data pages. A deleted row carries both high bits: that
// is how Access writes it, and the only value every reader agrees on.
constexpr std::uint16_t kSlotDeleted = 0xC000;
constexpr std::uint16_t kSlotOverflowTarget = 0x8000; // where a moved row lives now
constexpr std::uint16_t kSlotOverflowHeader = 0x4000; // holds the pointer to it
constexpr std::uint16_t kSlotOffsetMask = 0x1FFF;

// A row's address: page number in the high 24 bits, slot in the low 8, as
// index entries and overflow pointers name rows.
using RowId = std::uint32_t;
constexpr RowId rowId(std::uint32_t page, std::uint32_t slot) {
    return page << 8 | (slot & 0xFF);
}
constexpr std::uint32_t rowPage(RowId id) {
    return id >> 8;
}
constexpr std::uint32_t rowSlot(RowId id) {
    return id & 0xFF;
}

inline std::uint32_t get16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return get16(p) | get16(p + 2) << 16;
}
inline void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

} // namespace korvalt::access
