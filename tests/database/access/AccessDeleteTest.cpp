// Deleting drawings inside Access files through the engine, checked with
// Korvalt's own reader, the structural verifier, and the in-memory copy the
// window goes on showing.

#include "database/Database.h"
#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/access/FileReplacement.h"
#include "support/AccessFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace korvalt {
namespace {

using namespace test_support;

const std::string kSmall = std::string(KORVALT_FIXTURES_DIR) + "/pipe-small-indexed.mdb";
const std::string kBig = KORVALT_BIG_FIXTURES_DIR;

std::string deleteStatement(const std::string& drawing) {
    return "DELETE FROM pipe WHERE DWG_NAME = \"" + drawing + "\"";
}

// Deletes each drawing in turn with the window's statement, then holds the
// file against the records before, less exactly the rows whose drawing name
// equals one of them without regard to case.
void deleteAndCheck(const std::string& path, const std::vector<std::string>& drawings) {
    const Imported before = importFile(path);
    std::set<std::string> folded;
    for (const std::string& d : drawings)
        folded.insert(JetLike::fold(d));
    const auto db = OpenDatabase(path);
    std::string lastBytes;
    for (const std::string& drawing : drawings) {
        lastBytes = fileBytes(path);
        db->execute(deleteStatement(drawing));
    }
    std::multiset<std::string> expected;
    for (const std::string& row : tableRows(before.db.get(), "Pipe")) {
        const std::size_t name = row.find('\x1f') + 1; // after the row's address
        if (!folded.count(JetLike::fold(row.substr(name, row.find('\x1f', name) - name))))
            expected.insert(row);
    }
    ASSERT_LT(expected.size(), tableRows(before.db.get(), "Pipe").size());
    const Imported after = importFile(path);
    EXPECT_EQ(tableRows(after.db.get(), "Pipe"), expected) << "Korvalt's reader";
    EXPECT_EQ(pipeRows(*db), pipeRows(*OpenDatabase(path))) << "the copy in memory";
    EXPECT_EQ(verifyFile(path, after.table("Pipe").tdefPage), std::vector<std::string>{});
    // The last delete can be undone by hand.
    EXPECT_EQ(fileBytes(access::FileReplacement::backupPathFor(path)), lastBytes);
}

// Drawing names as the file holds them, in the order the index keeps them.
std::vector<std::string> drawingsOf(const std::string& path) {
    const auto db = OpenDatabase(path);
    auto rs = db->openRecordset("SELECT DISTINCT DWG_NAME FROM Pipe ORDER BY DWG_NAME ASC");
    std::vector<std::string> names;
    for (; !rs->isEof(); rs->moveNext()) {
        if (!rs->fields("DWG_NAME").isNull())
            names.push_back(rs->fields("DWG_NAME").asText());
    }
    return names;
}

class AccessDelete : public ::testing::Test {
protected:
    std::string copy(const std::string& fixture) {
        return copyFixture(fixture, dir.path().toStdString());
    }
    QTemporaryDir dir;
};

TEST_F(AccessDelete, SmallIndexedFileNamesDifferingInCaseApostropheAndLastRecords) {
    const std::string path = copy(kSmall);
    deleteAndCheck(path, {"no such drawing.dwg", "area1.DWG", "O'Neil-4.dwg", "AREA5.dwg"});
    // A malformed statement changes neither the file nor the copy.
    const std::string bytes = fileBytes(path);
    const auto db = OpenDatabase(path);
    const auto rows = pipeRows(*db);
    EXPECT_THROW(db->execute(deleteStatement("AREA3 \"north\".dwg")), EngineError);
    EXPECT_EQ(fileBytes(path), bytes);
    EXPECT_EQ(pipeRows(*db), rows);
}

TEST_F(AccessDelete, AgedFileWithMovedRowsMemosAndDeletedSlots) {
    const std::string path = copy(kBig + "/pipe-aged-5k.mdb");
    const std::vector<std::string> names = drawingsOf(path);
    ASSERT_GE(names.size(), 10u);
    // Every drawing has rows that moved (every 7th record grew); three of
    // them, first and last among them, one spelled in other letter case.
    std::string shouted = names[names.size() / 2];
    std::transform(shouted.begin(), shouted.end(), shouted.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    deleteAndCheck(path, {names.front(), shouted, names.back()});
}

// Ten neighbours in the drawing index empty whole runs of its leaf pages and
// change node entries above them; the first and last drawing reach the ends.
TEST_F(AccessDelete, HundredThousandFirstLastAndTenInARow) {
    const std::string path = copy(kBig + "/pipe-100k.mdb");
    const std::vector<std::string> names = drawingsOf(path);
    ASSERT_GT(names.size(), 110u);
    std::vector<std::string> drawings(names.begin() + 100, names.begin() + 110);
    drawings.push_back(names.front());
    drawings.push_back(names.back());
    deleteAndCheck(path, drawings);
}

} // namespace
} // namespace korvalt
