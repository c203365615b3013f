#pragma once

#include "database/access/JetFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvalt::access {

// One index page, its entries expanded: every entry whole (the shared
// prefix put back), as the bytes
//   leaf:  key ‖ data page (3 bytes, big-endian) ‖ row slot (1 byte)
//   node:  key ‖ data page ‖ row slot ‖ child page (4 bytes, big-endian)
// A node entry is a copy of its child's last entry plus the child's page;
// the tail child (node pages only) has no stored entry.
struct IndexPage {
    std::uint32_t number = 0;
    bool leaf = true;
    std::uint32_t owner = 0; // TDEF page the index belongs to
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;
    std::vector<std::vector<std::uint8_t>> entries;
    // As parse found them: the free-space field and the bytes the stored
    // (prefix-compressed) entries take. write() computes its own.
    std::uint32_t freeSpace = 0;
    std::size_t usedBytes = 0;

    // Parses a page image. Returns false and says why in `fault` when the
    // page is not an index page or its bitmask, prefix or entries do not
    // fit the page.
    static bool parse(const JetFormat& format, const std::uint8_t* bytes, std::uint32_t number,
                      IndexPage& out, std::string& fault);

    // Writes the page into `out`, which holds its old image: the header
    // bytes this class does not model are kept. Returns false, leaving
    // `out` untouched, when the entries do not fit the page.
    bool write(const JetFormat& format, std::uint8_t* out) const;
};

// The row an entry points at (leaf or node entry alike).
RowId entryRow(const std::vector<std::uint8_t>& entry, bool leaf);
// The child page of a node entry.
std::uint32_t entryChild(const std::vector<std::uint8_t>& entry);
// Index order of two entries of the same kind: key bytes compared unsigned,
// a key that is a prefix of the other first, equal keys by row pointer.
// Negative, zero or positive as for a three-way comparison.
int compareEntries(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                   bool leaf);

} // namespace korvalt::access
