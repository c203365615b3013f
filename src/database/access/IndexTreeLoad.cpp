#include "database/access/IndexTreeLoad.h"

#include "database/access/PageFile.h"

namespace korvalt::access {

namespace {

// Real trees are three or four levels deep; anything far deeper is a loop
// through pages that each look fine on their own.
constexpr int kMaxDepth = 32;

std::string reachedFrom(std::uint32_t parent) {
    return parent == 0 ? "the index root" : "index page " + std::to_string(parent);
}

class Scanner {
public:
    Scanner(PageFile& file, std::uint32_t tdefPage, ExpandEntries leafEntries, IndexTreeScan& tree)
        : m_file(file), m_tdef(tdefPage), m_leafEntries(leafEntries), m_tree(tree) {
        m_tree.positionOf.assign(file.pageCount(), IndexTreeScan::kNone);
    }

    void load(std::uint32_t number, int depth, std::uint32_t parent) {
        if (number == 0 || number >= m_file.pageCount()) {
            fault(reachedFrom(parent) + " names page " + std::to_string(number) +
                  ", which is not in the file");
            return;
        }
        if (m_tree.positionOf[number] != IndexTreeScan::kNone) {
            fault("index page " + std::to_string(number) + " is reached twice (from " +
                  reachedFrom(parent) + ")");
            return;
        }
        if (depth > kMaxDepth) {
            fault("the index tree is deeper than " + std::to_string(kMaxDepth) +
                  " levels at page " + std::to_string(number));
            return;
        }
        IndexTreeScan::Page page;
        page.number = number;
        page.depth = depth;
        page.firstEntry = m_tree.entries.size();
        page.firstRow = m_tree.rows.size();
        const std::uint8_t* bytes = m_file.page(number);
        const ExpandEntries expand =
            bytes[0] == kPageIndexLeaf ? m_leafEntries : ExpandEntries::All;
        std::string why;
        if (!parseIndexPage(m_file.format(), bytes, number, expand, page.header, m_tree.entries,
                            m_tree.rows, why)) {
            rollBack(page);
            fault(why + " (reached from " + reachedFrom(parent) + ")");
            return;
        }
        if (page.header.owner != m_tdef) {
            rollBack(page);
            fault("index page " + std::to_string(number) + " belongs to the table at page " +
                  std::to_string(page.header.owner) + ", not " + std::to_string(m_tdef));
            return;
        }
        page.storedEntries = m_tree.entries.size() - page.firstEntry;
        const std::size_t position = m_tree.pages.size();
        m_tree.positionOf[number] = position;
        m_tree.pages.push_back(page);
        if (page.header.leaf) {
            m_tree.leaves.push_back(position);
            return;
        }
        const std::vector<std::uint32_t> children = m_tree.childPages(page);
        m_file.preload(children);
        for (const std::uint32_t child : children)
            load(child, depth + 1, number);
    }

private:
    // A page left out leaves nothing behind: its rows would otherwise be
    // counted with the next leaf's. Its expanded entries stay unreferenced.
    void rollBack(const IndexTreeScan::Page& page) { m_tree.rows.resize(page.firstRow); }

    void fault(std::string what) { m_tree.faults.push_back(std::move(what)); }

    PageFile& m_file;
    std::uint32_t m_tdef;
    ExpandEntries m_leafEntries;
    IndexTreeScan& m_tree;
};

} // namespace

const IndexTreeScan::Page* IndexTreeScan::find(std::uint32_t number) const {
    const std::size_t at = position(number);
    return at == kNone ? nullptr : &pages[at];
}

std::size_t IndexTreeScan::position(std::uint32_t number) const {
    return number < positionOf.size() ? positionOf[number] : kNone;
}

std::vector<std::uint32_t> IndexTreeScan::childPages(const Page& node) const {
    std::vector<std::uint32_t> children;
    if (node.header.leaf)
        return children;
    children.reserve(node.storedEntries + 1);
    for (std::size_t i = node.firstEntry; i < node.firstEntry + node.storedEntries; ++i)
        children.push_back(entryChild(entries.data(i), entries.length(i)));
    if (node.header.tail != 0)
        children.push_back(node.header.tail);
    return children;
}

IndexTreeScan scanIndexTree(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage,
                            ExpandEntries leafEntries) {
    IndexTreeScan tree;
    tree.root = rootPage;
    Scanner(file, tdefPage, leafEntries, tree).load(rootPage, 0, 0);
    return tree;
}

LoadedIndexTree loadIndexTree(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage) {
    const IndexTreeScan scan = scanIndexTree(file, tdefPage, rootPage, ExpandEntries::All);
    LoadedIndexTree tree;
    tree.root = rootPage;
    tree.faults = scan.faults;
    for (const IndexTreeScan::Page& page : scan.pages) {
        LoadedIndexTree::Page& loaded = tree.pages[page.number];
        loaded.depth = page.depth;
        IndexPage& model = loaded.page;
        model.number = page.number;
        model.leaf = page.header.leaf;
        model.owner = page.header.owner;
        model.prev = page.header.prev;
        model.next = page.header.next;
        model.tail = page.header.tail;
        model.freeSpace = page.header.freeSpace;
        model.usedBytes = page.header.usedBytes;
        for (std::size_t i = page.firstEntry; i < page.firstEntry + page.storedEntries; ++i)
            model.entries.push_back(scan.entries.copy(i));
        tree.order.push_back(page.number);
        if (page.header.leaf)
            tree.leaves.push_back(page.number);
    }
    return tree;
}

std::vector<std::uint32_t> childPages(const IndexPage& node) {
    std::vector<std::uint32_t> children;
    if (node.leaf)
        return children;
    children.reserve(node.entries.size() + 1);
    for (const auto& entry : node.entries)
        children.push_back(entryChild(entry));
    if (node.tail != 0)
        children.push_back(node.tail);
    return children;
}

} // namespace korvalt::access
