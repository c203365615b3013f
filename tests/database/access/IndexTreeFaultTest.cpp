#include "database/access/IndexTree.h"

#include "IndexTestSupport.h"
#include "database/EngineError.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace korvalt::access {
namespace {

using Entry = std::vector<std::uint8_t>;

bool mentions(const IndexCheck& check, const std::string& words) {
    return std::any_of(check.faults.begin(), check.faults.end(), [&](const std::string& fault) {
        return fault.find(words) != std::string::npos;
    });
}

// Changes one index page in the file's overlay through its parsed form.
void rewrite(PageFile& file, std::uint32_t number, const std::function<void(IndexPage&)>& change) {
    IndexPage page;
    std::string fault;
    ASSERT_TRUE(IndexPage::parse(file.format(), file.page(number), number, page, fault)) << fault;
    change(page);
    ASSERT_TRUE(page.write(file.format(), file.modify(number)));
}

// A two-level tree Access wrote, Jet 3 and Jet 4.
class IndexTreeFaults : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        m_path = std::string(KORVALT_FIXTURES_DIR) + "/access-made/" + GetParam();
        PageFile file(m_path);
        for (const IndexUnderTest& index : indexesOf(file)) {
            LoadedIndexTree tree = loadIndexTree(file, index.tdefPage, index.index.rootPage);
            if (tree.leaves.size() >= 2 && tree.pages.at(tree.root).page.entries.size() >= 1) {
                m_index = index;
                m_tree = std::move(tree);
                m_firstRow = entryRow(m_tree.pages.at(firstLeaf()).page.entries.at(0), true);
                return;
            }
        }
        FAIL() << "no tree of two levels in " << m_path;
    }

    IndexCheck check(PageFile& file) const {
        return checkIndex(file, m_index.tdefPage, m_index.index.rootPage);
    }

    // Removal from a damaged tree must refuse before changing anything.
    void expectRemovalRefused(PageFile& file) const {
        const auto changed = file.changes();
        const std::unordered_set<RowId> victims = {m_firstRow};
        try {
            removeIndexRows(file, m_index.tdefPage, m_index.index.rootPage, victims);
            ADD_FAILURE() << "removal went ahead on a damaged tree";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), engine_errors::kCannotOpen);
        }
        EXPECT_EQ(file.changes(), changed);
    }

    std::uint32_t firstLeaf() const { return m_tree.leaves.front(); }
    std::uint32_t secondLeaf() const { return m_tree.leaves.at(1); }

    std::string m_path;
    IndexUnderTest m_index;
    LoadedIndexTree m_tree;
    RowId m_firstRow = 0;
};

// Each break is reported; a tree that cannot be read is also never changed.
TEST_P(IndexTreeFaults, ChecksReportWhatWasBroken) {
    const std::uint32_t root = m_tree.root;
    const std::uint32_t first = firstLeaf();
    const std::uint32_t second = secondLeaf();
    const struct {
        const char* words;
        std::function<void(PageFile&)> breakIt;
        bool unreadable;
    } cases[] = {
        {"is not after the entry before it",
         [&](PageFile& f) {
             rewrite(f, first, [](IndexPage& p) { std::swap(p.entries.at(0), p.entries.at(1)); });
         },
         false},
        {"differs from the last entry of its child",
         [&](PageFile& f) { rewrite(f, root, [](IndexPage& p) { p.entries[0][1] ^= 0x01; }); },
         false},
        {"links on to page 0 instead of the next leaf",
         [&](PageFile& f) { rewrite(f, first, [](IndexPage& p) { p.next = 0; }); }, false},
        {"instead of the leaf before it",
         [&](PageFile& f) { rewrite(f, second, [](IndexPage& p) { p.prev = p.number; }); }, false},
        {"bytes free but has",
         [&](PageFile& f) { put16(f.modify(first) + 2, get16(f.page(first) + 2) - 1); }, false},
        {"has only a tail child",
         [&](PageFile& f) {
             rewrite(f, root, [](IndexPage& p) {
                 p.tail = entryChild(p.entries.back());
                 p.entries.clear();
             });
         },
         false},
        {"belongs to the table at page",
         [&](PageFile& f) { put32(f.modify(second) + 4, m_index.tdefPage + 1); }, true},
        {"is reached twice",
         [&](PageFile& f) {
             rewrite(f, root, [root](IndexPage& p) {
                 p.entries[0] =
                     makeNodeEntry(Entry(p.entries[0].begin(), p.entries[0].end() - 4), root);
             });
         },
         true},
        {"which is not in the file",
         [&](PageFile& f) { rewrite(f, root, [&f](IndexPage& p) { p.tail = f.pageCount(); }); },
         true},
    };
    PageFile sound(m_path);
    ASSERT_TRUE(check(sound).faults.empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        PageFile file(m_path);
        c.breakIt(file);
        EXPECT_TRUE(mentions(check(file), c.words));
        if (c.unreadable)
            expectRemovalRefused(file);
    }
}

// Node pages link only to their peers under the same parent, and only
// trees of three levels have such peers: a one-sided link is a fault.
TEST(IndexTreeLinks, OneSidedNodeLinkIsReported) {
    PageFile file(std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-100k.mdb");
    for (const IndexUnderTest& index : indexesOf(file)) {
        const LoadedIndexTree tree = loadIndexTree(file, index.tdefPage, index.index.rootPage);
        for (const auto& [number, loaded] : tree.pages) {
            if (loaded.page.leaf || loaded.page.next == 0)
                continue;
            ASSERT_TRUE(checkIndex(file, index.tdefPage, index.index.rootPage).faults.empty());
            put32(file.modify(number) + file.format().indexNext, 0);
            const IndexCheck check = checkIndex(file, index.tdefPage, index.index.rootPage);
            ASSERT_EQ(check.faults.size(), 1u);
            EXPECT_NE(check.faults[0].find("which does not link on to it"), std::string::npos);
            return;
        }
    }
    FAIL() << "no linked node pages in pipe-100k";
}

INSTANTIATE_TEST_SUITE_P(Access, IndexTreeFaults,
                         ::testing::Values("testIndexCodesV1997.mdb", "compIndexTestV2003.mdb"),
                         [](const auto& param) { return param.index == 0 ? "Jet3" : "Jet4"; });

} // namespace
} // namespace korvalt::access
