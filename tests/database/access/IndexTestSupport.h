#pragma once

#include "database/access/JetFormat.h"
#include "database/access/TableDef.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvalt::access {

class PageFile;

// One index tree of one table, as a test walks them.
struct IndexUnderTest {
    std::uint32_t tdefPage = 0;
    RealIndex index;
};

// Every index tree of every table in the file. Tables are found by
// scanning for the first pages of table definition chains; definitions that
// cannot be read, or whose roots are not index pages of that table (left
// over on pages Access has since freed), are passed over.
std::vector<IndexUnderTest> indexesOf(PageFile& file);

// key ‖ data page (3 bytes, big-endian) ‖ row, on node pages ‖ child page.
std::vector<std::uint8_t> makeEntry(const std::vector<std::uint8_t>& key, std::uint32_t page,
                                    std::uint8_t row);
std::vector<std::uint8_t> makeNodeEntry(std::vector<std::uint8_t> entry, std::uint32_t child);

} // namespace korvalt::access
