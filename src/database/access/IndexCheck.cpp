#include "database/access/IndexTree.h"

#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"

#include <optional>

namespace korvalt::access {

namespace {

using Entry = std::vector<std::uint8_t>;

// A damaged tree can be wrong in thousands of places; the first few say
// enough.
constexpr std::size_t kMaxFaults = 50;

std::string pageName(std::uint32_t number) {
    return "index page " + std::to_string(number);
}

class Checker {
public:
    Checker(const JetFormat& format, const LoadedIndexTree& tree, IndexCheck& result)
        : m_format(format), m_tree(tree), m_result(result) {}

    void run() {
        for (const auto& fault : m_tree.faults)
            report(fault);
        checkPages();
        checkLeafOrder();
        checkNodeEntries();
        checkLeafChain();
        checkNodeLinks();
    }

private:
    void report(std::string fault) {
        if (m_result.faults.size() < kMaxFaults)
            m_result.faults.push_back(std::move(fault));
    }

    const IndexPage* find(std::uint32_t number) const {
        const auto it = m_tree.pages.find(number);
        return it == m_tree.pages.end() ? nullptr : &it->second.page;
    }

    void checkPages() {
        for (const auto& [number, loaded] : m_tree.pages) {
            const IndexPage& page = loaded.page;
            const std::size_t expected =
                static_cast<std::size_t>(m_format.indexCapacity) - page.usedBytes;
            if (page.freeSpace != expected)
                report(pageName(number) + " records " + std::to_string(page.freeSpace) +
                       " bytes free but has " + std::to_string(expected));
            if (page.leaf) {
                if (page.entries.empty() && number != m_tree.root)
                    report(pageName(number) + " is an empty leaf inside the tree");
                continue;
            }
            if (page.entries.empty())
                report(pageName(number) + (page.tail != 0 ? " has only a tail child"
                                                          : " is a node page without children"));
        }
    }

    void checkLeafOrder() {
        const Entry* previous = nullptr;
        for (const std::uint32_t number : m_tree.leaves) {
            const IndexPage& page = *find(number);
            for (std::size_t i = 0; i < page.entries.size(); ++i) {
                const Entry& entry = page.entries[i];
                if (previous != nullptr && compareEntries(*previous, entry, true) >= 0)
                    report(pageName(number) + ", entry " + std::to_string(i) +
                           " is not after the entry before it in index order");
                m_result.rows.push_back(entryRow(entry, true));
                previous = &entry;
            }
        }
    }

    // Every node entry must be its child's last entry (key and row pointer),
    // which is the last leaf entry below the child. Children come after
    // their parent in the load order, so walking it backwards knows each
    // child's last entry before its parent is looked at.
    void checkNodeEntries() {
        std::map<std::uint32_t, std::optional<Entry>> last;
        for (auto it = m_tree.order.rbegin(); it != m_tree.order.rend(); ++it) {
            const IndexPage& page = *find(*it);
            if (page.leaf) {
                last[*it] =
                    page.entries.empty() ? std::nullopt : std::optional<Entry>(page.entries.back());
                continue;
            }
            for (std::size_t i = 0; i < page.entries.size(); ++i) {
                const Entry& entry = page.entries[i];
                const auto child = last.find(entryChild(entry));
                if (child == last.end() || !child->second)
                    continue; // a child that could not be read is reported already
                const Entry stored(entry.begin(), entry.end() - 4);
                if (stored != *child->second)
                    report(pageName(*it) + ", entry " + std::to_string(i) +
                           " differs from the last entry of its child page " +
                           std::to_string(entryChild(entry)));
            }
            const std::vector<std::uint32_t> children = childPages(page);
            std::optional<Entry> mine;
            if (!children.empty())
                if (const auto child = last.find(children.back()); child != last.end())
                    mine = child->second;
            last[*it] = mine;
        }
    }

    void checkLeafChain() {
        const auto& leaves = m_tree.leaves;
        if (leaves.empty())
            return;
        if (const std::uint32_t prev = find(leaves.front())->prev; prev != 0)
            report(pageName(leaves.front()) + " is the first leaf but links back to page " +
                   std::to_string(prev));
        if (const std::uint32_t next = find(leaves.back())->next; next != 0)
            report(pageName(leaves.back()) + " is the last leaf but links on to page " +
                   std::to_string(next));
        for (std::size_t i = 0; i + 1 < leaves.size(); ++i) {
            const IndexPage& left = *find(leaves[i]);
            const IndexPage& right = *find(leaves[i + 1]);
            if (left.next != right.number)
                report(pageName(left.number) + " links on to page " + std::to_string(left.next) +
                       " instead of the next leaf, page " + std::to_string(right.number));
            if (right.prev != left.number)
                report(pageName(right.number) + " links back to page " +
                       std::to_string(right.prev) + " instead of the leaf before it, page " +
                       std::to_string(left.number));
        }
    }

    // Node pages are linked only to their peers under the same parent; all
    // that can be asked is that the links are mutual.
    void checkNodeLinks() {
        for (const auto& [number, loaded] : m_tree.pages) {
            const IndexPage& page = loaded.page;
            if (page.leaf)
                continue;
            if (page.next != 0) {
                const IndexPage* next = find(page.next);
                if (next == nullptr || next->leaf || next->prev != number)
                    report(pageName(number) + " links on to page " + std::to_string(page.next) +
                           ", which does not link back");
            }
            if (page.prev != 0) {
                const IndexPage* prev = find(page.prev);
                if (prev == nullptr || prev->leaf || prev->next != number)
                    report(pageName(number) + " links back to page " + std::to_string(page.prev) +
                           ", which does not link on to it");
            }
        }
    }

    const JetFormat& m_format;
    const LoadedIndexTree& m_tree;
    IndexCheck& m_result;
};

} // namespace

IndexCheck checkIndex(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage) {
    IndexCheck result;
    const LoadedIndexTree tree = loadIndexTree(file, tdefPage, rootPage);
    Checker(file.format(), tree, result).run();
    return result;
}

} // namespace korvalt::access
