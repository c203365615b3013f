#include "database/access/IndexTreeLoad.h"

#include "database/access/PageFile.h"

namespace korvalt::access {

namespace {

// Real trees are three or four levels deep; anything far deeper is a loop
// through pages that each look fine on their own.
constexpr int kMaxDepth = 32;

class Loader {
public:
    Loader(PageFile& file, std::uint32_t tdefPage, LoadedIndexTree& tree)
        : m_file(file), m_tdef(tdefPage), m_tree(tree) {}

    void load(std::uint32_t number, int depth, std::uint32_t parent) {
        const std::string from =
            parent == 0 ? "the index root" : "index page " + std::to_string(parent);
        if (number == 0 || number >= m_file.pageCount()) {
            fault(from + " names page " + std::to_string(number) + ", which is not in the file");
            return;
        }
        if (m_tree.pages.count(number) != 0) {
            fault("index page " + std::to_string(number) + " is reached twice (from " + from + ")");
            return;
        }
        if (depth > kMaxDepth) {
            fault("the index tree is deeper than " + std::to_string(kMaxDepth) +
                  " levels at page " + std::to_string(number));
            return;
        }
        LoadedIndexTree::Page loaded;
        loaded.depth = depth;
        std::string why;
        if (!IndexPage::parse(m_file.format(), m_file.page(number), number, loaded.page, why)) {
            fault(why + " (reached from " + from + ")");
            return;
        }
        if (loaded.page.owner != m_tdef) {
            fault("index page " + std::to_string(number) + " belongs to the table at page " +
                  std::to_string(loaded.page.owner) + ", not " + std::to_string(m_tdef));
            return;
        }
        const IndexPage& page = m_tree.pages.emplace(number, std::move(loaded)).first->second.page;
        m_tree.order.push_back(number);
        if (page.leaf) {
            m_tree.leaves.push_back(number);
            return;
        }
        for (const std::uint32_t child : childPages(page))
            load(child, depth + 1, number);
    }

private:
    void fault(std::string what) { m_tree.faults.push_back(std::move(what)); }

    PageFile& m_file;
    std::uint32_t m_tdef;
    LoadedIndexTree& m_tree;
};

} // namespace

LoadedIndexTree loadIndexTree(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage) {
    LoadedIndexTree tree;
    tree.root = rootPage;
    Loader(file, tdefPage, tree).load(rootPage, 0, 0);
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
