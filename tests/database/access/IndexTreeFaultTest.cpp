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

TEST_P(IndexTreeFaults, ChecksReportWhatWasBroken) {
    {
        PageFile file(m_path);
        ASSERT_TRUE(check(file).faults.empty());
        rewrite(file, firstLeaf(), [](IndexPage& page) {
            ASSERT_GE(page.entries.size(), 2u);
            std::swap(page.entries[0], page.entries[1]);
        });
        EXPECT_TRUE(mentions(check(file), "is not after the entry before it"));
    }
    {
        PageFile file(m_path);
        rewrite(file, m_tree.root, [](IndexPage& page) { page.entries[0][1] ^= 0x01; });
        EXPECT_TRUE(mentions(check(file), "differs from the last entry of its child"));
    }
    {
        PageFile file(m_path);
        rewrite(file, firstLeaf(), [](IndexPage& page) { page.next = 0; });
        EXPECT_TRUE(mentions(check(file), "links on to page 0 instead of the next leaf"));
    }
    {
        PageFile file(m_path);
        rewrite(file, secondLeaf(), [](IndexPage& page) { page.prev = page.number; });
        EXPECT_TRUE(mentions(check(file), "instead of the leaf before it"));
    }
    {
        PageFile file(m_path);
        std::uint8_t* leaf = file.modify(firstLeaf());
        put16(leaf + 2, get16(leaf + 2) - 1);
        EXPECT_TRUE(mentions(check(file), "bytes free but has"));
    }
    {
        PageFile file(m_path);
        rewrite(file, m_tree.root, [](IndexPage& page) {
            page.tail = entryChild(page.entries.back());
            page.entries.clear();
        });
        EXPECT_TRUE(mentions(check(file), "has only a tail child"));
    }
}

TEST_P(IndexTreeFaults, UnreadableTreesAreReportedAndNeverChanged) {
    {
        PageFile file(m_path);
        put32(file.modify(secondLeaf()) + 4, m_index.tdefPage + 1);
        EXPECT_TRUE(mentions(check(file), "belongs to the table at page"));
        expectRemovalRefused(file);
    }
    {
        PageFile file(m_path);
        const std::uint32_t root = m_tree.root;
        rewrite(file, root, [root](IndexPage& page) {
            page.entries[0] =
                makeNodeEntry(Entry(page.entries[0].begin(), page.entries[0].end() - 4), root);
        });
        EXPECT_TRUE(mentions(check(file), "is reached twice"));
        expectRemovalRefused(file);
    }
    {
        PageFile file(m_path);
        rewrite(file, m_tree.root, [&file](IndexPage& page) { page.tail = file.pageCount(); });
        EXPECT_TRUE(mentions(check(file), "which is not in the file"));
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

// A tree built by hand on pages added to a copy of a file: a root node
// whose children are the given leaves, the last of them its tail. The root
// comes after its leaves, so that a refusal at the root follows leaf pages
// that were already worked out.
class CraftedTree : public ::testing::TestWithParam<const char*> {
protected:
    static constexpr std::uint32_t kOwner = 2;

    void build(const std::vector<std::vector<Entry>>& leaves) {
        ASSERT_TRUE(m_dir.isValid());
        const std::string source = std::string(KORVALT_FIXTURES_DIR) + "/" + GetParam();
        m_path = m_dir.filePath("crafted.mdb").toStdString();
        std::filesystem::copy_file(source, m_path);
        PageFile original(m_path);
        const JetFormat& format = original.format();
        m_firstLeaf = original.pageCount();
        m_root = m_firstLeaf + static_cast<std::uint32_t>(leaves.size());
        std::ofstream out(m_path, std::ios::binary | std::ios::app);
        IndexPage root;
        root.leaf = false;
        root.owner = kOwner;
        std::vector<std::vector<std::uint8_t>> images;
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            const auto number = static_cast<std::uint32_t>(m_firstLeaf + i);
            IndexPage leaf;
            leaf.owner = kOwner;
            leaf.prev = i == 0 ? 0 : number - 1;
            leaf.next = i + 1 == leaves.size() ? 0 : number + 1;
            leaf.entries = leaves[i];
            images.push_back(image(format, leaf));
            if (i + 1 == leaves.size())
                root.tail = number;
            else
                root.entries.push_back(makeNodeEntry(leaves[i].back(), number));
        }
        images.push_back(image(format, root));
        for (const auto& bytes : images)
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
    }

    static std::vector<std::uint8_t> image(const JetFormat& format, const IndexPage& page) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(format.pageSize), 0);
        bytes[1] = 0x01;
        EXPECT_TRUE(page.write(format, bytes.data()));
        return bytes;
    }

    static Entry key(std::size_t leaf, std::size_t filler, std::uint8_t last) {
        Entry k = {0x7F, static_cast<std::uint8_t>(leaf)};
        k.insert(k.end(), filler, 0x41);
        k.push_back(last);
        return k;
    }

    QTemporaryDir m_dir;
    std::string m_path;
    std::uint32_t m_firstLeaf = 0;
    std::uint32_t m_root = 0;
};

// A node entry that follows a longer last entry can overflow its page; the
// removal must then refuse with nothing changed, and a removal that fits
// must go through.
TEST_P(CraftedTree, NodeOverflowIsRefusedBeforeAnyChange) {
    const int capacity = (std::string(GetParam()).find("1997") != std::string::npos)
                             ? JetFormat::jet3Format().indexCapacity
                             : JetFormat::jet4Format().indexCapacity;
    const auto leaves = static_cast<std::size_t>((capacity - 200) / 99) + 1;
    std::vector<std::vector<Entry>> entries;
    for (std::size_t i = 0; i < leaves; ++i)
        entries.push_back({makeEntry(key(i, 90, 0x42), 100, static_cast<std::uint8_t>(i))});
    const std::size_t grown = leaves - 2; // a leaf with a stored node entry
    Entry longKey = key(grown, 90, 0x42);
    longKey.insert(longKey.end(), 600, 0x5A);
    entries[grown] = {makeEntry(longKey, 101, 1), makeEntry(key(grown, 90, 0x43), 101, 2)};
    build(entries);

    {
        PageFile file(m_path);
        const IndexCheck sound = checkIndex(file, kOwner, m_root);
        ASSERT_TRUE(sound.faults.empty()) << sound.faults.front();
        ASSERT_EQ(sound.rows.size(), leaves + 1);
        try {
            removeIndexRows(file, kOwner, m_root, {rowId(101, 2)});
            ADD_FAILURE() << "the overflowing node page was written";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), engine_errors::kIndexPageFull);
            EXPECT_NE(std::string(e.what()).find("compact the database in Access"),
                      std::string::npos);
        }
        EXPECT_TRUE(file.changes().empty());
    }
    PageFile file(m_path);
    EXPECT_EQ(removeIndexRows(file, kOwner, m_root, {rowId(101, 1)}), 1u);
    EXPECT_EQ(file.changes().size(), 1u); // the leaf; its last entry is unchanged
    EXPECT_TRUE(checkIndex(file, kOwner, m_root).faults.empty());
}

// A node left with only its tail makes the tail an ordinary entry.
TEST_P(CraftedTree, LoneTailBecomesAnEntry) {
    build({{makeEntry(key(0, 2, 1), 50, 0)},
           {makeEntry(key(1, 2, 1), 50, 1)},
           {makeEntry(key(2, 2, 1), 50, 2), makeEntry(key(2, 2, 2), 50, 3)}});
    PageFile file(m_path);
    EXPECT_EQ(removeIndexRows(file, kOwner, m_root, {rowId(50, 0), rowId(50, 1)}), 2u);
    const IndexCheck after = checkIndex(file, kOwner, m_root);
    EXPECT_TRUE(after.faults.empty()) << after.faults.front();
    EXPECT_EQ(after.rows, (std::vector<RowId>{rowId(50, 2), rowId(50, 3)}));
    IndexPage root;
    std::string fault;
    ASSERT_TRUE(IndexPage::parse(file.format(), file.page(m_root), m_root, root, fault));
    EXPECT_EQ(root.tail, 0u);
    ASSERT_EQ(root.entries.size(), 1u);
    EXPECT_EQ(root.entries[0], makeNodeEntry(makeEntry(key(2, 2, 2), 50, 3), m_firstLeaf + 2));
    IndexPage leaf;
    ASSERT_TRUE(
        IndexPage::parse(file.format(), file.page(m_firstLeaf + 2), m_firstLeaf + 2, leaf, fault));
    EXPECT_EQ(leaf.prev, 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, CraftedTree,
                         ::testing::Values("access-made/indexTestV1997.mdb", "pipe-empty.mdb"),
                         [](const auto& param) { return param.index == 0 ? "Jet3" : "Jet4"; });

} // namespace
} // namespace korvalt::access
