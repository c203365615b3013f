#pragma once

#include "database/access/JetFormat.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace korvalt::access {

class PageFile;

// What a structural check of one index tree found.
struct IndexCheck {
    std::vector<std::string> faults; // empty when the tree is sound
    std::vector<RowId> rows;         // the rows of all leaf entries, in index order
};

// Checks one index tree read through `file`: page types and owner, leaf
// entries strictly ascending, every node entry equal to its child's last
// entry, prev/next links, free space, tails. Never throws for what it finds
// wrong in the file; reports it instead.
IndexCheck checkIndex(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage);

// Removes from one index tree every leaf entry that points at one of `rows`
// (header slots of deleted rows) and fixes the tree up the way Access keeps
// it: node entries follow their child's new last entry, emptied pages leave
// the tree and their neighbours' links, a node left with only its tail
// makes it an ordinary entry, an emptied root becomes an empty leaf. The
// changed pages are stored in `file` as modified images. Returns how many
// entries were removed.
//
// Raises EngineError 3049 when the tree is malformed and 3047 when a page
// would overflow; in both cases before any page image is modified.
std::size_t removeIndexRows(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage,
                            const std::unordered_set<RowId>& rows);

} // namespace korvalt::access
