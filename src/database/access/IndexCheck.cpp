#include "database/access/IndexTree.h"

#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"

#include <cstring>

namespace korvalt::access {

namespace {

// A damaged tree can be wrong in thousands of places; the first few say
// enough.
constexpr std::size_t kMaxFaults = 50;

std::string pageName(std::uint32_t number) {
    return "index page " + std::to_string(number);
}

class Checker {
public:
    Checker(const JetFormat& format, IndexTreeScan& tree, IndexCheck& result)
        : m_format(format), m_tree(tree), m_result(result) {}

    void run() {
        for (const auto& fault : m_tree.faults)
            report(fault);
        checkPages();
        checkLeafOrder();
        checkNodeEntries();
        checkLeafChain();
        checkNodeLinks();
        m_result.rows = std::move(m_tree.rows);
    }

private:
    using Page = IndexTreeScan::Page;

    void report(std::string fault) {
        if (m_result.faults.size() < kMaxFaults)
            m_result.faults.push_back(std::move(fault));
    }

    bool sameEntry(std::size_t a, std::size_t b, std::size_t cutFromA) const {
        const IndexEntries& entries = m_tree.entries;
        const std::size_t length = entries.length(a) - cutFromA;
        return length == entries.length(b) &&
               std::memcmp(entries.data(a), entries.data(b), length) == 0;
    }

    void checkPages() {
        for (const Page& page : m_tree.pages) {
            const IndexPageHeader& header = page.header;
            const std::size_t expected =
                static_cast<std::size_t>(m_format.indexCapacity) - header.usedBytes;
            if (header.freeSpace != expected)
                report(pageName(page.number) + " records " + std::to_string(header.freeSpace) +
                       " bytes free but has " + std::to_string(expected));
            if (header.leaf) {
                if (header.entryCount == 0 && page.number != m_tree.root)
                    report(pageName(page.number) + " is an empty leaf inside the tree");
                continue;
            }
            if (header.entryCount == 0)
                report(pageName(page.number) + (header.tail != 0
                                                    ? " has only a tail child"
                                                    : " is a node page without children"));
        }
    }

    void checkLeafOrder() {
        const IndexEntries& entries = m_tree.entries;
        std::size_t previous = kNoEntry;
        for (const std::size_t at : m_tree.leaves) {
            const Page& page = m_tree.pages[at];
            for (std::size_t i = 0; i < page.storedEntries; ++i) {
                const std::size_t entry = page.firstEntry + i;
                if (previous != kNoEntry &&
                    compareEntries(entries.data(previous), entries.length(previous),
                                   entries.data(entry), entries.length(entry), true) >= 0)
                    report(pageName(page.number) + ", entry " + std::to_string(i) +
                           " is not after the entry before it in index order");
                previous = entry;
            }
        }
    }

    // Every node entry must be its child's last entry (key and row pointer),
    // which is the last leaf entry below the child. Children come after
    // their parent in the load order, so walking it backwards knows each
    // child's last entry before its parent is looked at.
    void checkNodeEntries() {
        std::vector<std::size_t> last(m_tree.pages.size(), kNoEntry);
        for (std::size_t at = m_tree.pages.size(); at-- > 0;) {
            const Page& page = m_tree.pages[at];
            if (page.header.leaf) {
                if (page.storedEntries != 0)
                    last[at] = page.firstEntry + page.storedEntries - 1;
                continue;
            }
            const IndexEntries& entries = m_tree.entries;
            for (std::size_t i = 0; i < page.storedEntries; ++i) {
                const std::size_t entry = page.firstEntry + i;
                const std::uint32_t childPage =
                    entryChild(entries.data(entry), entries.length(entry));
                const std::size_t child = m_tree.position(childPage);
                // A child that could not be read is reported already.
                if (child == IndexTreeScan::kNone || last[child] == kNoEntry)
                    continue;
                if (!sameEntry(entry, last[child], 4))
                    report(pageName(page.number) + ", entry " + std::to_string(i) +
                           " differs from the last entry of its child page " +
                           std::to_string(childPage));
            }
            const std::uint32_t lastChild =
                page.header.tail != 0 ? page.header.tail
                : page.storedEntries != 0
                    ? entryChild(entries.data(page.firstEntry + page.storedEntries - 1),
                                 entries.length(page.firstEntry + page.storedEntries - 1))
                    : 0;
            if (const std::size_t child = m_tree.position(lastChild);
                lastChild != 0 && child != IndexTreeScan::kNone)
                last[at] = last[child];
        }
    }

    void checkLeafChain() {
        const auto& leaves = m_tree.leaves;
        if (leaves.empty())
            return;
        const Page& first = m_tree.pages[leaves.front()];
        const Page& final = m_tree.pages[leaves.back()];
        if (first.header.prev != 0)
            report(pageName(first.number) + " is the first leaf but links back to page " +
                   std::to_string(first.header.prev));
        if (final.header.next != 0)
            report(pageName(final.number) + " is the last leaf but links on to page " +
                   std::to_string(final.header.next));
        for (std::size_t i = 0; i + 1 < leaves.size(); ++i) {
            const Page& left = m_tree.pages[leaves[i]];
            const Page& right = m_tree.pages[leaves[i + 1]];
            if (left.header.next != right.number)
                report(pageName(left.number) + " links on to page " +
                       std::to_string(left.header.next) + " instead of the next leaf, page " +
                       std::to_string(right.number));
            if (right.header.prev != left.number)
                report(pageName(right.number) + " links back to page " +
                       std::to_string(right.header.prev) + " instead of the leaf before it, page " +
                       std::to_string(left.number));
        }
    }

    // Node pages are linked only to their peers under the same parent; all
    // that can be asked is that the links are mutual.
    void checkNodeLinks() {
        for (const Page& page : m_tree.pages) {
            const IndexPageHeader& header = page.header;
            if (header.leaf)
                continue;
            if (header.next != 0) {
                const Page* next = m_tree.find(header.next);
                if (next == nullptr || next->header.leaf || next->header.prev != page.number)
                    report(pageName(page.number) + " links on to page " +
                           std::to_string(header.next) + ", which does not link back");
            }
            if (header.prev != 0) {
                const Page* prev = m_tree.find(header.prev);
                if (prev == nullptr || prev->header.leaf || prev->header.next != page.number)
                    report(pageName(page.number) + " links back to page " +
                           std::to_string(header.prev) + ", which does not link on to it");
            }
        }
    }

    static constexpr std::size_t kNoEntry = SIZE_MAX;

    const JetFormat& m_format;
    IndexTreeScan& m_tree;
    IndexCheck& m_result;
};

} // namespace

IndexCheck checkIndex(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage) {
    IndexCheck result;
    IndexTreeScan tree = scanIndexTree(file, tdefPage, rootPage, ExpandEntries::All);
    Checker(file.format(), tree, result).run();
    return result;
}

} // namespace korvalt::access
