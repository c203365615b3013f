#include "database/access/IndexTree.h"

#include "database/access/TableDef.h"
#include "database/EngineError.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"
#include "support/AccessFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace korvalt::access {
namespace {

using Entry = std::vector<std::uint8_t>;

// One index tree of one table, as a test walks them.
struct IndexUnderTest {
    std::uint32_t tdefPage = 0;
    RealIndex index;
};

std::vector<IndexUnderTest> indexesOf(PageFile& file) {
    std::vector<IndexUnderTest> found;
    for (const auto& table : test_support::importFile(file.path()).tables) {
        for (const RealIndex& index : readTableDef(file, table.tdefPage).realIndexes)
            found.push_back({table.tdefPage, index});
    }
    return found;
}

// A node entry: the entry ‖ its child page, big-endian.
std::vector<std::uint8_t> makeNodeEntry(std::vector<std::uint8_t> entry, std::uint32_t child) {
    for (int shift = 24; shift >= 0; shift -= 8)
        entry.push_back(static_cast<std::uint8_t>(child >> shift));
    return entry;
}

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
        std::string words;
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
        {"belongs to the table at page " + std::to_string(m_index.tdefPage + 1) + ", not " +
             std::to_string(m_index.tdefPage),
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

INSTANTIATE_TEST_SUITE_P(Access, IndexTreeFaults,
                         ::testing::Values("testIndexCodesV1997.mdb", "compIndexTestV2003.mdb"),
                         [](const auto& param) { return param.index == 0 ? "Jet3" : "Jet4"; });

} // namespace
} // namespace korvalt::access
