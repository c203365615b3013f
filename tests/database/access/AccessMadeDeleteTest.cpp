// The file writer on tables of files written by Access itself (Jet 3 and
// Jet 4): index pages, prefixes, tails, deleted rows and moved rows exactly
// as Access lays them out.

#include "database/EngineError.h"
#include "database/access/AccessDelete.h"
#include "support/AccessFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace korvalt {
namespace {

using namespace test_support;

std::uint32_t addressOf(const std::string& row) {
    return static_cast<std::uint32_t>(std::stoul(row.substr(0, row.find('\x1f'))));
}

// Deletes `victims` from one table and holds the file against the rows
// before; returns the error number of a refusal (file unchanged), 0 when done.
int deleteAndCheck(const std::string& path, const MdbImport::Table& table,
                   const std::vector<std::uint32_t>& victims) {
    const Imported before = importFile(path);
    const std::string bytes = fileBytes(path);
    try {
        access::deleteRowsInFile(path, access::stampOf(path), table.tdefPage, table.name, victims);
    } catch (const EngineError& e) {
        EXPECT_EQ(fileBytes(path), bytes) << table.name;
        return e.number();
    }
    const std::set<std::uint32_t> gone(victims.begin(), victims.end());
    std::multiset<std::string> expected;
    for (const std::string& row : tableRows(before.db.get(), table.name)) {
        if (gone.count(addressOf(row)) == 0)
            expected.insert(row);
    }
    EXPECT_EQ(tableRows(importFile(path).db.get(), table.name), expected) << table.name;
    EXPECT_EQ(verifyFile(path, table.tdefPage), std::vector<std::string>{}) << table.name;
    return 0;
}

class AccessMadeFile : public ::testing::TestWithParam<const char*> {};

TEST_P(AccessMadeFile, EveryThirdRowThenTheRestOfEveryTable) {
    QTemporaryDir dir;
    const std::string fixture = std::string(KORVALT_FIXTURES_DIR) + "/access-made/" + GetParam();
    const std::vector<MdbImport::Table> tables = importFile(fixture).tables;
    int done = 0;
    for (const MdbImport::Table& table : tables) {
        const std::string path = copyFixture(fixture, dir.path().toStdString());
        const std::vector<std::uint32_t> all = rowAddresses(importFile(path).db.get(), table.name);
        if (all.empty())
            continue;
        std::vector<std::uint32_t> third;
        for (std::size_t i = 0; i < all.size(); i += 3)
            third.push_back(all[i]);
        // Tables in an enforced relationship are refused whole, unchanged.
        const int refused = deleteAndCheck(path, table, third);
        ++done;
        if (refused == engine_errors::kRelatedRecords)
            continue;
        EXPECT_EQ(refused, 0) << table.name;
        EXPECT_EQ(deleteAndCheck(path, table, rowAddresses(importFile(path).db.get(), table.name)),
                  0)
            << table.name;
    }
    EXPECT_GT(done, 0) << "no table of " << GetParam() << " was deleted from";
}

INSTANTIATE_TEST_SUITE_P(Files, AccessMadeFile,
                         ::testing::Values("compIndexTestV1997.mdb", "compIndexTestV2003.mdb",
                                           "delTestV2003.mdb", "indexTestV2003.mdb",
                                           "overflowTestV2000.mdb", "testIndexCodesV1997.mdb",
                                           "testIndexPropertiesV2003.mdb"),
                         [](const auto& p) {
                             std::string name = p.param;
                             return name.substr(0, name.find('.'));
                         });

} // namespace
} // namespace korvalt
