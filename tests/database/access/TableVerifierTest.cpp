// Each break of a sound table or index tree is found and named; unreadable trees stay unchanged.

#include "database/access/TableVerifier.h"

#include "database/EngineError.h"
#include "database/access/DataScan.h"
#include "database/access/IndexTree.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"
#include "support/AccessFiles.h"
#include "support/EngineCases.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvalt::access {
namespace {

using ::testing::Contains;

// Points an index entry (its last four bytes, big-endian) at a row or page.
void pointAt(std::vector<std::uint8_t>& entry, std::uint32_t to) {
    for (std::size_t i = 0; i < 4; ++i)
        entry[entry.size() - 4 + i] = static_cast<std::uint8_t>(to >> (24 - 8 * i));
}

// pipe-aged-5k, changed in memory only, with an ordinary row and a moved row to break.
struct AgedPipe {
    PageFile file{std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-aged-5k.mdb"};
    std::uint32_t tdef = test_support::importFile(file.path()).table("Pipe").tdefPage;
    RowId ordinary = 0;
    RowId header = 0;
    RowId target = 0;
    RowId duplicated = 0;

    AgedPipe() {
        const TableDef table = readTableDef(file, tdef);
        FaultList faults;
        const TableRows rows = scanTableRows(file, table, faults);
        for (const RowId row : rows.live) {
            const std::uint16_t flags = slot(row) & ~kSlotOffsetMask;
            if (flags == 0 && ordinary == 0 && rowSlot(row) > 0)
                ordinary = row;
            if (flags == kSlotOverflowHeader && header == 0) {
                const std::uint8_t* page = file.page(rowPage(row));
                const RowId to = get32(page + (slot(row) & kSlotOffsetMask));
                if ((slot(to) & ~kSlotOffsetMask) == kSlotOverflowTarget) {
                    header = row;
                    target = to;
                }
            }
        }
    }
    std::uint16_t slot(RowId row) {
        return static_cast<std::uint16_t>(
            get16(file.page(rowPage(row)) + file.format().dataFirstSlot + 2 * rowSlot(row)));
    }
    void setSlot(RowId row, std::uint16_t value) {
        put16(file.modify(rowPage(row)) + file.format().dataFirstSlot + 2 * rowSlot(row), value);
    }
    void flag(RowId row, std::uint16_t flags) {
        setSlot(row, static_cast<std::uint16_t>((slot(row) & kSlotOffsetMask) | flags));
    }
    // Leaves `row` `length` bytes, up to the row in the slot ahead of it, and gives it `flags`.
    void shorten(RowId row, unsigned length, std::uint16_t flags) {
        const RowId ahead = rowId(rowPage(row), rowSlot(row) - 1);
        setSlot(row,
                static_cast<std::uint16_t>(((slot(ahead) & kSlotOffsetMask) - length) | flags));
    }
    void addRows(int delta) {
        std::uint8_t* count = file.modify(tdef) + file.format().tdefNumRows;
        put32(count, static_cast<std::uint32_t>(static_cast<int>(get32(count)) + delta));
    }
    void unindex(RowId row, std::size_t onlyIndex = SIZE_MAX) {
        const TableDef table = readTableDef(file, tdef);
        for (std::size_t k = 0; k < table.realIndexes.size(); ++k)
            if (onlyIndex == SIZE_MAX || onlyIndex == k)
                removeIndexRows(file, tdef, table.realIndexes[k].rootPage, {row});
    }
    // Points a leaf's second entry at `row`, or (0) at the third's row, listing it twice.
    void pointEntry(std::size_t k, RowId row = 0) {
        const TableDef table = readTableDef(file, tdef);
        const LoadedIndexTree tree = loadIndexTree(file, tdef, table.realIndexes[k].rootPage);
        for (const std::uint32_t leaf : tree.leaves) {
            IndexPage page = tree.pages.at(leaf).page;
            if (page.entries.size() < 4)
                continue;
            duplicated = row != 0 ? row : entryRow(page.entries[2], true);
            pointAt(page.entries[1], duplicated);
            ASSERT_TRUE(page.write(file.format(), file.modify(leaf)));
            return;
        }
        FAIL() << "no leaf with four entries";
    }
    std::vector<std::string> verify() { return verifyTable(file, readTableDef(file, tdef)); }
};

// {ordinary}, {header}, {target} and {twice} stand for the rows broken.
TEST(TableVerifier, ReportsEachInjectedFault) {
    const struct {
        const char* expected; // one of the faults
        std::function<void(AgedPipe&)> breakIt;
    } cases[] = {
        {"Row {ordinary} is marked as a moved row's new place, but no live row points at it.",
         [](AgedPipe& p) { p.flag(p.ordinary, kSlotOverflowTarget); }},
        // The row's own bytes read as a pointer.
        {"Moved row {ordinary} points at page 0 slot 15, on a page that is not one of the "
         "table's data pages.",
         [](AgedPipe& p) { p.flag(p.ordinary, kSlotOverflowHeader); }},
        {"Index 0 has an entry for {ordinary}, which is a deleted row.",
         [](AgedPipe& p) {
             p.flag(p.ordinary, kSlotDeleted);
             p.addRows(-1);
         }},
        {"Row {target} is marked as a moved row's new place, but no live row points at it.",
         [](AgedPipe& p) { // a moved row deleted at its header only
             p.flag(p.header, kSlotDeleted);
             p.unindex(p.header);
             p.addRows(-1);
         }},
        {"The table definition counts 4546 rows, but the table holds 4545.",
         [](AgedPipe& p) {
             p.flag(p.ordinary, kSlotDeleted);
             p.unindex(p.ordinary);
         }},
        {"Data page {page} records 14 bytes of free space; its rows leave 12.",
         [](AgedPipe& p) {
             std::uint8_t* page = p.file.modify(rowPage(p.ordinary));
             put16(page + 2, get16(page + 2) + 2);
         }},
        {"Index 1 has no entry for the live row {ordinary}.",
         [](AgedPipe& p) { p.unindex(p.ordinary, 1); }},
        {"Index 0 lists {twice} twice.", [](AgedPipe& p) { p.pointEntry(0); }},
        {"Index 1 has an entry for page {page} slot 255, which is a slot that does not exist.",
         [](AgedPipe& p) { p.pointEntry(1, rowId(rowPage(p.ordinary), 255)); }},
        {"Index 2 has an entry for {target}, which is the new place of a moved row.",
         [](AgedPipe& p) { p.pointEntry(2, p.target); }},
        {"Index 0 has an entry for page 16777215 slot 1, which is not on one of the table's "
         "data pages.",
         [](AgedPipe& p) { p.pointEntry(0, rowId(0xFFFFFF, 1)); }},
        {"Index 0 has an entry for {ordinary}, which is not on one of the table's data pages.",
         [](AgedPipe& p) { put32(p.file.modify(rowPage(p.ordinary)) + 4, p.tdef + 1); }},
        {"Moved row {header} points at page 16777215 slot 0, beyond the end of the file.",
         [](AgedPipe& p) {
             std::uint8_t* page = p.file.modify(rowPage(p.header));
             put32(page + (p.slot(p.header) & kSlotOffsetMask), rowId(0xFFFFFF, 0));
         }},
        {"Row {ordinary} lies outside its page.",
         [](AgedPipe& p) { p.setSlot(p.ordinary, kSlotOffsetMask); }},
        {"Row {ordinary} is too short to be a row.",
         [](AgedPipe& p) { p.shorten(p.ordinary, 1, 0); }},
        {"Row {ordinary} is marked as moved but is too short to say where to.",
         [](AgedPipe& p) { p.shorten(p.ordinary, 2, kSlotOverflowHeader); }},
        {"Data page {page} claims 4000 row slots, more than a page holds.",
         [](AgedPipe& p) {
             put16(p.file.modify(rowPage(p.ordinary)) + p.file.format().dataRowCount, 4000);
         }},
        {"Moved row {header} points at {target}, which is not marked as a moved row's new place.",
         [](AgedPipe& p) { p.flag(p.target, 0x2000); }},
    };

    ASSERT_EQ(AgedPipe().verify(), std::vector<std::string>{});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        AgedPipe pipe;
        c.breakIt(pipe);
        EXPECT_THAT(pipe.verify(),
                    Contains(test_support::filledIn(
                        c.expected, {{"{ordinary}", rowName(pipe.ordinary)},
                                     {"{header}", rowName(pipe.header)},
                                     {"{target}", rowName(pipe.target)},
                                     {"{twice}", rowName(pipe.duplicated)},
                                     {"{page}", std::to_string(rowPage(pipe.ordinary))}})));
    }
}

// A definition with impossible counts is refused before anything is read through it.
TEST(TableVerifier, ImpossibleCountsInTheDefinitionAreAStructuralFault) {
    AgedPipe pipe;
    put16(pipe.file.modify(pipe.tdef) + pipe.file.format().tdefNumCols, 0);
    EXPECT_EQ(test_support::errorOf([&] { readTableDef(pipe.file, pipe.tdef); }),
              "3049 The database '" + pipe.file.path() +
                  "' has a structural fault (the table definition at page " +
                  std::to_string(pipe.tdef) +
                  " has impossible counts). Korvalt changes only sound files: compact and repair "
                  "it in Access, then try again. Nothing was changed.");
}

// An index that ignores Nulls may leave out only the rows whose key is all Null.
TEST(TableVerifier, IndexesThatIgnoreNullsMayLeaveOutOnlyNullKeys) {
    const std::string path =
        std::string(KORVALT_FIXTURES_DIR) + "/access-made/testIndexPropertiesV2003.mdb";
    int checked = 0;
    for (const char* name : {"TableIgnoreNulls1", "TableIgnoreNulls2"}) {
        PageFile file(path);
        const TableDef table =
            readTableDef(file, test_support::importFile(path).table(name).tdefPage);
        FaultList ignored;
        const TableRows rows = scanTableRows(file, table, ignored);
        for (std::size_t k = 0; k < table.realIndexes.size(); ++k) {
            const RealIndex& index = table.realIndexes[k];
            if (!index.ignoresNulls())
                continue;
            SCOPED_TRACE(std::string(name) + " index " + std::to_string(index.number));
            const auto keyless = [bit = std::uint64_t{1} << k](std::uint64_t b) {
                return (b & bit) != 0;
            };
            EXPECT_TRUE(std::any_of(rows.allNull.begin(), rows.allNull.end(), keyless));
            const auto keyed = std::find_if_not(rows.allNull.begin(), rows.allNull.end(), keyless);
            ASSERT_NE(keyed, rows.allNull.end());
            const RowId row = rows.live[static_cast<std::size_t>(keyed - rows.allNull.begin())];
            PageFile changed(path);
            removeIndexRows(changed, table.page, index.rootPage, {row});
            EXPECT_THAT(verifyTable(changed, table),
                        Contains("Index " + std::to_string(index.number) +
                                 " has no entry for the live row " + rowName(row) + "."));
            ++checked;
        }
    }
    EXPECT_GE(checked, 2);
}

// Runs of pages read at once show the changes at either end and within; so do single pages.
TEST(TableVerifier, PagesReadInRunsOrAloneShowTheirChanges) {
    PageFile file(std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-aged-5k.mdb");
    const std::uint32_t first = 3;
    const std::uint32_t count = file.pageCount() - first;
    for (const std::uint32_t changed : {first, first + 7, file.pageCount() - 1})
        file.modify(changed)[100] ^= 0x5A;
    std::vector<std::uint8_t> expected;
    for (std::uint32_t i = first; i < file.pageCount(); ++i)
        expected.insert(expected.end(), file.page(i), file.page(i) + file.format().pageSize);
    std::vector<std::uint8_t> run(expected.size());
    file.readRun(first, count, run.data());
    EXPECT_TRUE(run == expected);
    EXPECT_THROW(file.readRun(first, count + 1, run.data()), EngineError);
    for (const std::uint32_t alone : {first + 7, first + 8}) { // a changed page, then not
        file.read(alone, run.data());
        EXPECT_TRUE(
            std::equal(run.begin(), run.begin() + file.format().pageSize, file.page(alone)));
    }
}

// Changes one index page in the file's overlay through its parsed form.
void rewrite(PageFile& file, std::uint32_t number, const std::function<void(IndexPage&)>& change) {
    IndexPage page;
    std::string fault;
    ASSERT_TRUE(IndexPage::parse(file.format(), file.page(number), number, page, fault)) << fault;
    change(page);
    ASSERT_TRUE(page.write(file.format(), file.modify(number)));
}

// The first index tree of the file with two levels.
class IndexTreeFaults : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        PageFile file(m_path);
        for (const auto& table : test_support::importFile(m_path).tables) {
            for (const RealIndex& index : readTableDef(file, table.tdefPage).realIndexes) {
                m_tree = loadIndexTree(file, table.tdefPage, index.rootPage);
                m_tdef = table.tdefPage;
                m_rootPage = index.rootPage;
                if (m_tree.leaves.size() >= 2 && !m_tree.pages.at(m_tree.root).page.entries.empty())
                    return;
            }
        }
        FAIL() << "no tree of two levels in " << m_path;
    }

    std::string m_path = std::string(KORVALT_FIXTURES_DIR) + "/access-made/" + GetParam();
    std::uint32_t m_tdef = 0;
    std::uint32_t m_rootPage = 0;
    LoadedIndexTree m_tree;
};

TEST_P(IndexTreeFaults, ChecksReportWhatWasBroken) {
    const std::uint32_t root = m_tree.root;
    const std::uint32_t first = m_tree.leaves.at(0);
    const std::uint32_t second = m_tree.leaves.at(1);
    const std::string lastLeaf =
        "index page {first} is the last leaf but links on to page {second}";
    const struct {
        std::vector<std::string> faults; // all of them, {names} standing for pages
        bool unreadable;
        std::function<void(PageFile&)> breakIt;
    } cases[] = {
        {{"index page {first}, entry 1 is not after the entry before it in index order"},
         false,
         [&](PageFile& f) {
             rewrite(f, first, [](IndexPage& p) { std::swap(p.entries.at(0), p.entries.at(1)); });
         }},
        {{"index page {root}, entry 0 differs from the last entry of its child page {first}"},
         false,
         [&](PageFile& f) { rewrite(f, root, [](IndexPage& p) { p.entries[0][1] ^= 0x01; }); }},
        {{"index page {first} links on to page 0 instead of the next leaf, page {second}"},
         false,
         [&](PageFile& f) { rewrite(f, first, [](IndexPage& p) { p.next = 0; }); }},
        {{"index page {second} links back to page {second} instead of the leaf before it, page "
          "{first}"},
         false,
         [&](PageFile& f) { rewrite(f, second, [](IndexPage& p) { p.prev = p.number; }); }},
        {{"index page {first} records {free} bytes free but has {has}"},
         false,
         [&](PageFile& f) { put16(f.modify(first) + 2, get16(f.page(first) + 2) - 1); }},
        {{"index page {root} has only a tail child", lastLeaf},
         false,
         [&](PageFile& f) {
             rewrite(f, root, [](IndexPage& p) {
                 p.tail = entryChild(p.entries.back());
                 p.entries.clear();
             });
         }},
        {{"index page {second} belongs to the table at page {other}, not {owner}", lastLeaf},
         true,
         [&](PageFile& f) { put32(f.modify(second) + 4, m_tdef + 1); }},
        {{"index page {root} is reached twice (from index page {root})",
          "index page {second} is the first leaf but links back to page {first}"},
         true, // the first node entry's child made the root itself
         [&](PageFile& f) {
             rewrite(f, root, [root](IndexPage& p) { pointAt(p.entries[0], root); });
         }},
        {{"index page {root} names page {end}, which is not in the file", lastLeaf},
         true,
         [&](PageFile& f) { rewrite(f, root, [&f](IndexPage& p) { p.tail = f.pageCount(); }); }},
    };
    PageFile sound(m_path);
    ASSERT_EQ(checkIndex(sound, m_tdef, m_rootPage).faults, std::vector<std::string>{});
    const RowId firstRow = entryRow(m_tree.pages.at(first).page.entries.at(0), true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults.front());
        PageFile file(m_path);
        c.breakIt(file);
        const unsigned free = get16(sound.page(first) + 2);
        const auto n = [](std::uint32_t value) { return std::to_string(value); };
        const std::vector<std::pair<std::string, std::string>> marks = {
            {"{root}", n(root)},     {"{first}", n(first)},      {"{second}", n(second)},
            {"{owner}", n(m_tdef)},  {"{other}", n(m_tdef + 1)}, {"{end}", n(file.pageCount())},
            {"{free}", n(free - 1)}, {"{has}", n(free)}};
        std::vector<std::string> expected;
        for (const std::string& fault : c.faults)
            expected.push_back(test_support::filledIn(fault, marks));
        EXPECT_EQ(checkIndex(file, m_tdef, m_rootPage).faults, expected);
        if (!c.unreadable)
            continue;
        // Removal from a damaged tree refuses before changing anything.
        const auto changes = file.changes();
        EXPECT_EQ(test_support::errorOf([&] {
                      removeIndexRows(file, m_tdef, m_rootPage, {firstRow});
                  }).substr(0, 5),
                  "3049 ");
        EXPECT_EQ(file.changes(), changes);
    }
}

INSTANTIATE_TEST_SUITE_P(Access, IndexTreeFaults,
                         ::testing::Values("testIndexCodesV1997.mdb", "compIndexTestV2003.mdb"),
                         [](const auto& param) { return param.index == 0 ? "Jet3" : "Jet4"; });

} // namespace
} // namespace korvalt::access
