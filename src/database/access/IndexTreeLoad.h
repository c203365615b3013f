#pragma once

#include "database/access/IndexPage.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korvalt::access {

class PageFile;

// One index tree read into memory whole, for the check and for removal.
struct LoadedIndexTree {
    struct Page {
        IndexPage page;
        int depth = 0; // the root is at 0
    };
    std::uint32_t root = 0;
    std::map<std::uint32_t, Page> pages;
    std::vector<std::uint32_t> order;  // pages as reached, each before its children
    std::vector<std::uint32_t> leaves; // leaf pages in index order
    // Why the tree could not be read whole: a page outside the file, not an
    // index page of this table, reached twice, or too deep. Pages past such
    // a fault are left out.
    std::vector<std::string> faults;
};

LoadedIndexTree loadIndexTree(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage);

// A node page's children in index order: the pages its entries name, then
// the tail.
std::vector<std::uint32_t> childPages(const IndexPage& node);

} // namespace korvalt::access
