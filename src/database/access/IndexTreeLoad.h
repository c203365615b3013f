#pragma once

#include "database/access/IndexPage.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korvalt::access {

class PageFile;

// One index tree read whole, its entries kept flat (no allocation per
// entry): what the check and the removal walk. A node's children are read
// from the file together. Pages that fail to read are left out and said
// why in `faults`: a page outside the file, not an index page of this
// table, reached twice, or too deep.
struct IndexTreeScan {
    struct Page {
        std::uint32_t number = 0;
        int depth = 0; // the root is at 0
        IndexPageHeader header;
        // Its entries in `entries`: all of them on node pages; on leaves as
        // the scan was asked (all, or the first and last only).
        std::size_t firstEntry = 0;
        std::size_t storedEntries = 0;
        // Leaves: where their rows start in `rows` (header.entryCount of them).
        std::size_t firstRow = 0;
    };
    std::uint32_t root = 0;
    std::vector<Page> pages;         // as reached, each before its children
    std::vector<std::size_t> leaves; // positions in `pages`, in index order
    IndexEntries entries;
    std::vector<RowId> rows; // every leaf entry's row, in index order
    std::vector<std::string> faults;

    // The page loaded as `number`, or nullptr.
    const Page* find(std::uint32_t number) const;
    // The position of page `number` in `pages`, or kNone.
    std::size_t position(std::uint32_t number) const;
    static constexpr std::size_t kNone = SIZE_MAX;

    // A node page's children in index order: the pages its entries name,
    // then the tail.
    std::vector<std::uint32_t> childPages(const Page& node) const;

    std::vector<std::size_t> positionOf; // by page number, kNone when not loaded
};

IndexTreeScan scanIndexTree(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage,
                            ExpandEntries leafEntries);

// One index tree with every page in the form for changing it; for tests and
// tools that edit pages by hand (slower than the scan).
struct LoadedIndexTree {
    struct Page {
        IndexPage page;
        int depth = 0;
    };
    std::uint32_t root = 0;
    std::map<std::uint32_t, Page> pages;
    std::vector<std::uint32_t> order;  // pages as reached, each before its children
    std::vector<std::uint32_t> leaves; // leaf pages in index order
    std::vector<std::string> faults;
};

LoadedIndexTree loadIndexTree(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage);

// A node page's children in index order: the pages its entries name, then
// the tail.
std::vector<std::uint32_t> childPages(const IndexPage& node);

} // namespace korvalt::access
