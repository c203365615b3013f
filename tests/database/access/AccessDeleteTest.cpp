// Deletes in Access files, held against the reader, the verifier and the copy in memory.

#include "database/Database.h"
#include "database/EngineError.h"
#include "database/access/AccessDelete.h"
#include "database/access/FileReplacement.h"
#include "database/access/PageFile.h"
#include "support/AccessFiles.h"
#include "support/EngineCases.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace korvalt {
namespace {

using namespace test_support;
namespace fs = std::filesystem;

const std::string kFixtures = KORVALT_FIXTURES_DIR;
const std::string kSmall = kFixtures + "/pipe-small-indexed.mdb";
const std::string kBig = KORVALT_BIG_FIXTURES_DIR;

// Deletes drawings with the window's statement; exactly their rows, in any case, go.
void deleteAndCheck(const std::string& path, const std::vector<std::string>& drawings) {
    const Imported before = importFile(path);
    const auto db = OpenDatabase(path);
    std::string lastBytes;
    std::string literals;
    for (const std::string& drawing : drawings) {
        lastBytes = fileBytes(path);
        db->execute("DELETE FROM pipe WHERE DWG_NAME = \"" + drawing + "\"");
        literals += literals.empty() ? "'" : ", '";
        for (const char c : drawing)
            literals += c == '\'' ? "''" : std::string(1, c);
        literals += "'";
    }
    // The copy's text columns compare without regard to case, as the statement does.
    const auto expected = tableRows(before.db.get(), "Pipe",
                                    "DWG_NAME IS NULL OR DWG_NAME NOT IN (" + literals + ")");
    ASSERT_LT(expected.size(), tableRows(before.db.get(), "Pipe").size());
    const Imported after = importFile(path);
    EXPECT_EQ(tableRows(after.db.get(), "Pipe"), expected) << "Korvalt's reader";
    EXPECT_EQ(pipeRows(*db), pipeRows(*OpenDatabase(path))) << "the copy in memory";
    EXPECT_EQ(verifyFile(path, after.table("Pipe").tdefPage), std::vector<std::string>{});
    // The last delete can be undone by hand.
    EXPECT_EQ(fileBytes(access::FileReplacement::backupPathFor(path)), lastBytes);
}

TEST(AccessDelete, SmallIndexedFileNamesDifferingInCaseApostropheAndLastRecords) {
    QTemporaryDir dir;
    deleteAndCheck(copyFixture(kSmall, dir.path().toStdString()),
                   {"no such drawing.dwg", "area1.DWG", "O'Neil-4.dwg", "AREA5.dwg"});
}

// Ten neighbours empty whole runs of index leaves; the aged file's rows moved, and hold memos.
TEST(AccessDelete, BigFilesTenInARowFirstOtherCaseAndLast) {
    QTemporaryDir dir;
    for (const char* file : {"/pipe-aged-5k.mdb", "/pipe-100k.mdb"}) {
        SCOPED_TRACE(file);
        const std::string path = copyFixture(kBig + file, dir.path().toStdString());
        // In the order the drawing index keeps them.
        const std::vector<std::string> names = readField(
            *OpenDatabase(path),
            "SELECT DISTINCT DWG_NAME FROM Pipe WHERE DWG_NAME IS NOT NULL ORDER BY DWG_NAME",
            "DWG_NAME");
        ASSERT_GE(names.size(), 20u);
        const auto run = names.begin() + static_cast<std::ptrdiff_t>(names.size() / 3);
        std::vector<std::string> drawings(run, run + 10);
        const std::string shouted =
            QString::fromStdString(names[names.size() - 2]).toLower().toStdString();
        drawings.insert(drawings.end(), {names.front(), shouted, names.back()});
        deleteAndCheck(path, drawings);
    }
}

// Deletes rows by address; the number of a refusal (file unchanged), or 0.
int deleteRowsAndCheck(const std::string& path, const MdbImport::Table& table,
                       const std::vector<std::uint32_t>& victims) {
    const Imported before = importFile(path);
    const std::string bytes = fileBytes(path);
    try {
        access::deleteRowsInFile(path, access::stampOf(path), table.tdefPage, table.name, victims);
    } catch (const EngineError& e) {
        EXPECT_EQ(fileBytes(path), bytes) << table.name;
        return e.number();
    }
    std::string gone;
    for (const std::uint32_t row : victims)
        gone += (gone.empty() ? "" : ", ") + std::to_string(row);
    EXPECT_EQ(tableRows(importFile(path).db.get(), table.name),
              tableRows(before.db.get(), table.name, "rowid NOT IN (" + gone + ")"))
        << table.name;
    EXPECT_EQ(verifyFile(path, table.tdefPage), std::vector<std::string>{}) << table.name;
    return 0;
}

// Index pages, prefixes, tails, deleted and moved rows exactly as Access itself lays them out.
class AccessMadeFile : public ::testing::TestWithParam<const char*> {};

TEST_P(AccessMadeFile, EveryThirdRowThenTheRestOfEveryTable) {
    QTemporaryDir dir;
    const std::string fixture = kFixtures + "/access-made/" + GetParam();
    int done = 0;
    for (const MdbImport::Table& table : importFile(fixture).tables) {
        const std::string path = copyFixture(fixture, dir.path().toStdString());
        const std::vector<std::uint32_t> all = rowAddresses(importFile(path).db.get(), table.name);
        if (all.empty())
            continue;
        std::vector<std::uint32_t> third;
        for (std::size_t i = 0; i < all.size(); i += 3)
            third.push_back(all[i]);
        third.push_back(all.front()); // a row named twice goes once
        // Tables in an enforced relationship are refused whole, unchanged.
        const int refused = deleteRowsAndCheck(path, table, third);
        ++done;
        if (refused == engine_errors::kRelatedRecords)
            continue;
        EXPECT_EQ(refused, 0) << table.name;
        EXPECT_EQ(
            deleteRowsAndCheck(path, table, rowAddresses(importFile(path).db.get(), table.name)), 0)
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

// Each reason not to delete has its number and message; neither file nor copy changes.
TEST(AccessRefusal, EachReasonHasItsNumberAndMessageAndChangesNothing) {
    using access::get16;
    using access::get32;
    constexpr std::size_t kPage = 4096;
    const std::string nothing = " Nothing was changed.";
    const struct {
        const char* what;
        std::function<void(std::string& bytes, const Imported& file)> spoil;
        std::string error; // '%' for the file's path
    } cases[] = {
        // What an editor that crashed half-way leaves; readers still open it.
        {"five rows deleted without their index entries",
         [](std::string& bytes, const Imported& file) {
             auto* b = reinterpret_cast<std::uint8_t*>(bytes.data());
             for (const access::RowId row : rowAddresses(file.db.get(), "Pipe", "UNIQUE_ID > 35")) {
                 const std::size_t slot =
                     access::rowPage(row) * kPage + 14 + 2 * access::rowSlot(row);
                 access::put16(b + slot, get16(b + slot) | access::kSlotDeleted);
             }
             const std::size_t count = file.table("Pipe").tdefPage * kPage + 16;
             access::put32(b + count, get32(b + count) - 5);
         },
         "3049 The table 'Pipe' in '%' is not in order (Index 0 has an entry for page 33 slot 2, "
         "which is a deleted row.; Index 0 has an entry for page 33 slot 3, which is a deleted "
         "row.; Index 0 has an entry for page 33 slot 4, which is a deleted row.; and 12 more). "
         "Korvalt changes only sound files: compact and repair the database in Access, then try "
         "again." +
             nothing},
        {"a replica",
         [](std::string& bytes, const Imported& file) {
             const std::size_t tdef = file.table("Pipe").tdefPage;
             const std::size_t at = bytes.find(std::string("W\0E\0I\0G\0H\0T\0", 12), tdef * kPage);
             bytes.replace(at, 12, std::string("s\0_\0G\0U\0I\0D\0", 12));
         },
         "3545 The database is a replica: its deletions must be passed on to the other replicas, "
         "which only Access can do. Delete in Access instead." +
             nothing},
        {"a column of a later kind",
         [](std::string& bytes, const Imported& file) {
             const std::size_t page = file.table("Pipe").tdefPage * kPage;
             const unsigned indexes = get16(reinterpret_cast<std::uint8_t*>(&bytes[page + 51]));
             bytes[page + 63 + indexes * 12 + 13 * 25] = 0x11; // the WEIGHT column
         },
         "3251 The table 'Pipe' has a column ('WEIGHT') of a kind Korvalt does not change." +
             nothing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const std::string path = copyFixture(kSmall, dir.path().toStdString());
        std::string bytes = fileBytes(path);
        c.spoil(bytes, importFile(path));
        writeFile(path, bytes);
        const auto db = OpenDatabase(path);
        const auto rows = pipeRows(*db);
        EXPECT_EQ(errorOf([&] { db->execute("DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\""); }),
                  filledIn(c.error, {{"%", path}}));
        EXPECT_EQ(fileBytes(path), bytes);
        EXPECT_EQ(pipeRows(*db), rows);
        EXPECT_FALSE(fs::exists(access::FileReplacement::backupPathFor(path)));
        EXPECT_FALSE(fs::exists(access::FileReplacement::tempPathFor(path)));
    }
}

} // namespace
} // namespace korvalt
