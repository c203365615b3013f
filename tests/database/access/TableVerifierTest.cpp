#include "database/access/TableVerifier.h"

#include "database/EngineError.h"
#include "database/access/DataScan.h"
#include "database/access/IndexTree.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"
#include "database/access/TableDef.h"

#include "support/AccessFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace korvalt::access {
namespace {

std::uint32_t tdefOf(const std::string& path, const std::string& name) {
    return test_support::importFile(path).table(name).tdefPage;
}

std::string joined(const std::vector<std::string>& faults) {
    std::string text;
    for (const std::string& f : faults)
        text += "\n  " + f;
    return text;
}

// A copy of pipe-aged-5k in memory (changes go to the page overlay only),
// with rows picked for breaking: an ordinary row, and a moved row whose
// header points straight at its 0x8000 target.
struct AgedPipe {
    PageFile file{std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-aged-5k.mdb"};
    std::uint32_t tdef = tdefOf(file.path(), "Pipe");
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
    // Points the second entry of a leaf of index k at `row`, or at its
    // neighbour's row when `row` is 0: one row listed twice, under two
    // keys. Either way the entry's own row goes missing from the index.
    void pointEntry(std::size_t k, RowId row = 0) {
        const TableDef table = readTableDef(file, tdef);
        const LoadedIndexTree tree = loadIndexTree(file, tdef, table.realIndexes[k].rootPage);
        for (const std::uint32_t leaf : tree.leaves) {
            IndexPage page = tree.pages.at(leaf).page;
            if (page.entries.size() < 4)
                continue;
            duplicated = row != 0 ? row : entryRow(page.entries[2], true);
            std::vector<std::uint8_t>& entry = page.entries[1];
            for (int i = 0; i < 4; ++i)
                entry[entry.size() - 4 + static_cast<std::size_t>(i)] =
                    static_cast<std::uint8_t>(duplicated >> (24 - 8 * i));
            ASSERT_TRUE(page.write(file.format(), file.modify(leaf)));
            return;
        }
        FAIL() << "no leaf with four entries";
    }
    std::vector<std::string> verify() { return verifyTable(file, readTableDef(file, tdef)); }
};

// Each break of a sound table is found and named exactly; {ordinary},
// {header}, {target} and {twice} stand for the rows the break was made on.
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
    };

    ASSERT_TRUE(AgedPipe().verify().empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        AgedPipe pipe;
        c.breakIt(pipe);
        std::vector<std::string> faults;
        ASSERT_NO_THROW(faults = pipe.verify());
        std::string expected = c.expected;
        const std::pair<std::string, std::string> names[] = {
            {"{ordinary}", rowName(pipe.ordinary)},
            {"{header}", rowName(pipe.header)},
            {"{target}", rowName(pipe.target)},
            {"{twice}", rowName(pipe.duplicated)},
            {"{page}", std::to_string(rowPage(pipe.ordinary))}};
        for (const auto& [name, value] : names)
            if (const auto at = expected.find(name); at != std::string::npos)
                expected.replace(at, name.size(), value);
        EXPECT_NE(std::find(faults.begin(), faults.end(), expected), faults.end())
            << "expected: " << expected << "\nfound:" << joined(faults);
    }
}

// An index that ignores Nulls may leave out the rows whose key is all Null,
// and only those: a row with a value taken out of it is still a fault.
TEST(TableVerifier, IndexesThatIgnoreNullsMayLeaveOutOnlyNullKeys) {
    const std::string path =
        std::string(KORVALT_FIXTURES_DIR) + "/access-made/testIndexPropertiesV2003.mdb";
    int checked = 0;
    for (const char* name : {"TableIgnoreNulls1", "TableIgnoreNulls2"}) {
        const std::uint32_t tdef = tdefOf(path, name);
        PageFile probe(path);
        const TableDef table = readTableDef(probe, tdef);
        FaultList ignored;
        const TableRows rows = scanTableRows(probe, table, ignored);
        for (std::size_t k = 0; k < table.realIndexes.size(); ++k) {
            const RealIndex& index = table.realIndexes[k];
            if (!index.ignoresNulls())
                continue;
            SCOPED_TRACE(std::string(name) + " index " + std::to_string(index.number));
            const auto bit = std::uint64_t{1} << k;
            // Rows left out for their Null key, which the clean file shows
            // are passed over.
            EXPECT_TRUE(std::any_of(rows.allNull.begin(), rows.allNull.end(),
                                    [bit](std::uint64_t b) { return (b & bit) != 0; }));
            const auto keyed = std::find_if(rows.allNull.begin(), rows.allNull.end(),
                                            [bit](std::uint64_t b) { return (b & bit) == 0; });
            ASSERT_NE(keyed, rows.allNull.end());
            const RowId row = rows.live[static_cast<std::size_t>(keyed - rows.allNull.begin())];
            PageFile file(path);
            removeIndexRows(file, tdef, index.rootPage, {row});
            const std::vector<std::string> faults = verifyTable(file, table);
            const std::string expected = "Index " + std::to_string(index.number) +
                                         " has no entry for the live row " + rowName(row) + ".";
            EXPECT_NE(std::find(faults.begin(), faults.end(), expected), faults.end())
                << "expected: " << expected << "\nfound:" << joined(faults);
            ++checked;
        }
    }
    EXPECT_GE(checked, 2);
}

// The walk reads its pages many at a time: what it reads must be what
// page() shows, changes included, at either end of a run and within it.
TEST(TableVerifier, PagesReadInRunsShowTheirChanges) {
    PageFile file(std::string(KORVALT_BIG_FIXTURES_DIR) + "/pipe-aged-5k.mdb");
    const std::size_t size = static_cast<std::size_t>(file.format().pageSize);
    const std::uint32_t first = 3;
    const std::uint32_t count = file.pageCount() - first;
    for (const std::uint32_t changed : {first, first + 7, file.pageCount() - 1})
        file.modify(changed)[100] ^= 0x5A;
    std::vector<std::uint8_t> run(size * count);
    file.readRun(first, count, run.data());
    for (std::uint32_t i = 0; i < count; ++i)
        ASSERT_TRUE(std::equal(run.begin() + static_cast<std::ptrdiff_t>(size * i),
                               run.begin() + static_cast<std::ptrdiff_t>(size * (i + 1)),
                               file.page(first + i)))
            << "page " << first + i;
    EXPECT_THROW(file.readRun(first, count + 1, run.data()), EngineError);
}

} // namespace
} // namespace korvalt::access
