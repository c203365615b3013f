#include "database/access/IndexTree.h"

#include "IndexTestSupport.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>

namespace korvalt::access {
namespace {

std::vector<std::uint32_t> rowsUnder(const LoadedIndexTree& tree, std::uint32_t number) {
    const IndexPage& page = tree.pages.at(number).page;
    std::vector<std::uint32_t> rows;
    if (page.leaf) {
        for (const auto& entry : page.entries)
            rows.push_back(entryRow(entry, true));
        return rows;
    }
    for (const std::uint32_t child : childPages(page)) {
        const auto below = rowsUnder(tree, child);
        rows.insert(rows.end(), below.begin(), below.end());
    }
    return rows;
}

// Removes `victims` from one index of a fresh view of `path` and checks what
// every removal must leave: a sound tree holding the old rows minus the
// victims, in the old order, with freed pages no longer reached. Returns the
// file view for further checks.
std::unique_ptr<PageFile> removeAndCheck(const std::string& path, const IndexUnderTest& index,
                                         const std::vector<RowId>& victims,
                                         const std::string& scenario) {
    SCOPED_TRACE(path + " table " + std::to_string(index.tdefPage) + " root " +
                 std::to_string(index.index.rootPage) + ": " + scenario);
    auto file = std::make_unique<PageFile>(path);
    const IndexCheck before = checkIndex(*file, index.tdefPage, index.index.rootPage);
    const LoadedIndexTree treeBefore = loadIndexTree(*file, index.tdefPage, index.index.rootPage);
    const std::unordered_set<RowId> gone(victims.begin(), victims.end());
    std::vector<RowId> expected;
    std::copy_if(before.rows.begin(), before.rows.end(), std::back_inserter(expected),
                 [&](RowId row) { return gone.count(row) == 0; });

    const std::size_t removed = removeIndexRows(*file, index.tdefPage, index.index.rootPage, gone);
    EXPECT_EQ(removed, before.rows.size() - expected.size());
    const IndexCheck after = checkIndex(*file, index.tdefPage, index.index.rootPage);
    EXPECT_TRUE(after.faults.empty()) << after.faults.front();
    EXPECT_EQ(after.rows, expected);

    const LoadedIndexTree treeAfter = loadIndexTree(*file, index.tdefPage, index.index.rootPage);
    for (const auto& [number, image] : file->changes()) {
        EXPECT_TRUE(treeBefore.pages.count(number) != 0) << "page " << number << " not in the tree";
        if (treeAfter.pages.count(number) == 0) {
            EXPECT_EQ(get32(image.data()), 0u) << "freed page " << number << " keeps its type";
        }
    }
    if (removed == 0) {
        EXPECT_TRUE(file->changes().empty());
    }
    return file;
}

// The trees Access wrote are sound as they are, and every page reads back
// from its own rewrite as it was, never larger.
TEST(IndexTree, TreesAsWrittenCheckCleanAndPagesRoundTrip) {
    std::size_t indexes = 0;
    std::size_t pages = 0;
    std::set<std::string> seen; // kinds of pages met, so the test knows what it covered
    for (const std::string& path : indexedFixtures()) {
        PageFile file(path);
        const auto found = indexesOf(file);
        EXPECT_FALSE(found.empty()) << path;
        const std::string jet = file.format().jet3 ? "Jet 3 " : "Jet 4 ";
        for (const IndexUnderTest& index : found) {
            SCOPED_TRACE(path + " table " + std::to_string(index.tdefPage));
            const IndexCheck check = checkIndex(file, index.tdefPage, index.index.rootPage);
            EXPECT_TRUE(check.faults.empty()) << check.faults.front();
            const LoadedIndexTree tree = loadIndexTree(file, index.tdefPage, index.index.rootPage);
            ++indexes;
            for (const auto& [number, loaded] : tree.pages) {
                ++pages;
                const std::uint8_t* bytes = file.page(number);
                std::vector<std::uint8_t> image(bytes, bytes + file.format().pageSize);
                const std::size_t prefix = file.format().prefixIsByte
                                               ? bytes[file.format().indexPrefix]
                                               : get16(bytes + file.format().indexPrefix);
                if (prefix > 0)
                    seen.insert(jet + "prefix");
                if (!loaded.page.leaf && loaded.page.tail != 0)
                    seen.insert(jet + "tail");
                if (loaded.depth >= 2)
                    seen.insert(jet + "three levels");
                ASSERT_TRUE(loaded.page.write(file.format(), image.data()));
                IndexPage back;
                std::string fault;
                ASSERT_TRUE(IndexPage::parse(file.format(), image.data(), number, back, fault))
                    << fault;
                EXPECT_EQ(back.entries, loaded.page.entries) << "page " << number;
                EXPECT_EQ(back.leaf, loaded.page.leaf);
                EXPECT_EQ(back.prev, loaded.page.prev);
                EXPECT_EQ(back.next, loaded.page.next);
                EXPECT_EQ(back.tail, loaded.page.tail);
                EXPECT_LE(back.usedBytes, loaded.page.usedBytes) << "page " << number;
            }
        }
    }
    for (const char* kind :
         {"Jet 3 prefix", "Jet 4 prefix", "Jet 3 tail", "Jet 4 tail", "Jet 4 three levels"})
        EXPECT_TRUE(seen.count(kind) != 0) << "no tree with " << kind;
    std::cout << "[          ] " << indexes << " index trees, " << pages
              << " index pages checked\n";
}

// Broad removals on every index of every file: a thinning spread through
// the whole tree, the first and last entry of every leaf (so node entries
// change), and everything (the root becomes an empty leaf).
TEST(IndexTree, RemovalsLeaveEveryIndexSound) {
    std::size_t scenarios = 0;
    for (const std::string& path : indexedFixtures()) {
        PageFile file(path);
        for (const IndexUnderTest& index : indexesOf(file)) {
            const IndexCheck check = checkIndex(file, index.tdefPage, index.index.rootPage);
            const LoadedIndexTree tree = loadIndexTree(file, index.tdefPage, index.index.rootPage);
            std::vector<RowId> thinning;
            for (std::size_t i = 0; i < check.rows.size(); i += 3)
                thinning.push_back(check.rows[i]);
            std::vector<RowId> leafEnds;
            for (const std::uint32_t leaf : tree.leaves) {
                const auto& entries = tree.pages.at(leaf).page.entries;
                if (!entries.empty()) {
                    leafEnds.push_back(entryRow(entries.front(), true));
                    leafEnds.push_back(entryRow(entries.back(), true));
                }
            }
            removeAndCheck(path, index, thinning, "every third row");
            removeAndCheck(path, index, leafEnds, "first and last entry of each leaf");
            const auto all = removeAndCheck(path, index, check.rows, "every row");
            // An empty leaf as Access leaves one (free space and links are
            // the check's business).
            const std::uint8_t* root = all->page(index.index.rootPage);
            const JetFormat& f = all->format();
            EXPECT_EQ(root[0], kPageIndexLeaf);
            EXPECT_EQ(get32(root + f.indexTail), 0u);
            EXPECT_EQ(root[f.indexPrefix + (f.prefixIsByte ? 1 : 2)], 0);
            EXPECT_EQ(all->changes().size(), check.rows.empty() ? 0u : tree.pages.size());
            scenarios += 3;
        }
    }
    std::cout << "[          ] " << scenarios << " removal scenarios\n";
}

class IndexTreeLevels : public ::testing::Test {
protected:
    // The deepest tree of pipe-100k: several levels, tails on every node.
    void SetUp() override {
        PageFile file(m_path);
        for (const IndexUnderTest& index : indexesOf(file)) {
            LoadedIndexTree tree = loadIndexTree(file, index.tdefPage, index.index.rootPage);
            int depth = 0;
            for (const auto& [number, loaded] : tree.pages)
                depth = std::max(depth, loaded.depth);
            if (depth > m_depth) {
                m_depth = depth;
                m_index = index;
                m_tree = std::move(tree);
            }
        }
        ASSERT_GE(m_depth, 2) << "pipe-100k has no tree of three levels";
    }

    const IndexPage& at(std::uint32_t number) const { return m_tree.pages.at(number).page; }

    // Node pages whose children are leaves, and that have a tail.
    std::vector<std::uint32_t> lowestNodes() const {
        std::vector<std::uint32_t> nodes;
        for (const auto& [number, loaded] : m_tree.pages)
            if (!loaded.page.leaf && loaded.depth == m_depth - 1 && loaded.page.tail != 0 &&
                loaded.page.entries.size() >= 4)
                nodes.push_back(number);
        return nodes;
    }

    const std::string m_path = std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-100k.mdb";
    IndexUnderTest m_index;
    LoadedIndexTree m_tree;
    int m_depth = 0;
};

TEST_F(IndexTreeLevels, LastEntryOfALeafRepointsItsParent) {
    const std::uint32_t node = lowestNodes().at(1);
    const std::uint32_t leaf = entryChild(at(node).entries.at(1));
    const auto& entries = at(leaf).entries;
    const auto file = removeAndCheck(m_path, m_index, {entryRow(entries.back(), true)}, "last");
    EXPECT_EQ(file->changes().count(leaf), 1u);
    EXPECT_EQ(file->changes().count(node), 1u) << "the node entry of the leaf did not change";

    // The first entry changes the leaf alone.
    const auto first = removeAndCheck(m_path, m_index, {entryRow(entries.front(), true)}, "first");
    EXPECT_EQ(first->changes().size(), 1u);
    EXPECT_EQ(first->changes().count(leaf), 1u);
}

// The last children of a node, tail included, emptied: their pages are
// freed and unlinked as a run, and the node gets a new tail.
TEST_F(IndexTreeLevels, RunOfLeavesIncludingTheTail) {
    const std::uint32_t node = lowestNodes().at(0);
    const std::vector<std::uint32_t> children = childPages(at(node));
    std::vector<RowId> victims;
    std::vector<std::uint32_t> emptied(children.end() - 3, children.end());
    for (const std::uint32_t leaf : emptied) {
        const auto rows = rowsUnder(m_tree, leaf);
        victims.insert(victims.end(), rows.begin(), rows.end());
    }
    const auto file = removeAndCheck(m_path, m_index, victims, "run of leaves with the tail");
    for (const std::uint32_t leaf : emptied)
        EXPECT_EQ(file->page(leaf)[0], 0x00) << "leaf " << leaf << " not freed";
    const std::uint8_t* after = file->page(node);
    EXPECT_EQ(get32(after + file->format().indexTail), children[children.size() - 4]);
}

TEST_F(IndexTreeLevels, IntermediateNodeAndTheRootKeepsOneChild) {
    const IndexPage& root = at(m_tree.root);
    const std::vector<std::uint32_t> children = childPages(root);
    ASSERT_GE(children.size(), 2u);
    const std::uint32_t middle = children[children.size() / 2];
    ASSERT_FALSE(at(middle).leaf);
    const auto file = removeAndCheck(m_path, m_index, rowsUnder(m_tree, middle), "a node page");
    EXPECT_EQ(file->page(middle)[0], 0x00);

    // All but the first child of the root: the root keeps it as an entry.
    std::vector<RowId> victims;
    for (std::size_t i = 1; i < children.size(); ++i) {
        const auto rows = rowsUnder(m_tree, children[i]);
        victims.insert(victims.end(), rows.begin(), rows.end());
    }
    const auto lone = removeAndCheck(m_path, m_index, victims, "root left with one child");
    IndexPage rootAfter;
    std::string fault;
    ASSERT_TRUE(
        IndexPage::parse(lone->format(), lone->page(m_tree.root), m_tree.root, rootAfter, fault));
    ASSERT_EQ(rootAfter.entries.size(), 1u);
    EXPECT_EQ(entryChild(rootAfter.entries[0]), children[0]);
    EXPECT_EQ(rootAfter.tail, 0u);
}

// Node pages link only to their peers; a one-sided link is a fault.
TEST_F(IndexTreeLevels, OneSidedNodeLinkIsReported) {
    std::uint32_t linked = 0;
    for (const auto& [number, loaded] : m_tree.pages)
        if (!loaded.page.leaf && loaded.page.next != 0)
            linked = number;
    ASSERT_NE(linked, 0u) << "no linked node pages";
    PageFile file(m_path);
    ASSERT_TRUE(checkIndex(file, m_index.tdefPage, m_index.index.rootPage).faults.empty());
    put32(file.modify(linked) + file.format().indexNext, 0);
    const IndexCheck check = checkIndex(file, m_index.tdefPage, m_index.index.rootPage);
    ASSERT_EQ(check.faults.size(), 1u);
    EXPECT_NE(check.faults[0].find("which does not link on to it"), std::string::npos);
}

} // namespace
} // namespace korvalt::access
