// Every reason Korvalt has for not deleting inside an Access file: each is
// reported with its own number, and neither the file nor the copy in memory
// changes.

#include "database/Database.h"
#include "database/EngineError.h"
#include "database/access/AccessDelete.h"
#include "database/access/FileReplacement.h"
#include "database/access/JetFormat.h"
#include "database/access/PageFile.h"
#include "support/AccessFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace korvalt {
namespace {

using namespace test_support;
namespace fs = std::filesystem;

const std::string kSmall = std::string(KORVALT_FIXTURES_DIR) + "/pipe-small-indexed.mdb";
constexpr std::size_t kPage = 4096;
const std::string kDelete = "DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"";

void patch(const std::string& path, std::size_t offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readPage(const std::string& path, std::uint32_t page) {
    return fileBytes(path).substr(page * kPage, kPage);
}

// Where the first logical index block of a one-page Jet 4 table definition
// starts: after the counts, the columns, their names and the real indexes.
std::size_t firstLogicalIndex(const std::string& tdef) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(tdef.data());
    const access::JetFormat& f = access::JetFormat::jet4Format();
    const std::uint32_t columns = access::get16(b + f.tdefNumCols);
    const std::uint32_t real = access::get32(b + f.tdefNumReal);
    std::size_t pos = static_cast<std::size_t>(f.tdefBlocks) + real * f.realCountSize +
                      columns * static_cast<std::size_t>(f.columnSize);
    for (std::uint32_t i = 0; i < columns; ++i)
        pos += 2 + access::get16(b + pos);
    return pos + real * static_cast<std::size_t>(f.realIndexSize);
}

class AccessRefusal : public ::testing::Test {
protected:
    void SetUp() override {
        path = copyFixture(kSmall, dir.path().toStdString());
        tdefPage = importFile(path).table("Pipe").tdefPage;
    }
    void TearDown() override {
        fs::permissions(dir.path().toStdString(), fs::perms::owner_all);
        if (fs::exists(path))
            fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    }

    // Opens the file, lets `before` spoil the delete, and expects the window's
    // delete to be refused with `number`, the file and the copy unchanged.
    void expectRefused(int number, const std::function<void()>& before) {
        const auto db = OpenDatabase(path);
        const auto rows = pipeRows(*db);
        before();
        const std::string bytes = fileBytes(path);
        try {
            db->execute(kDelete);
            ADD_FAILURE() << "the delete ran";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), number) << e.description();
            EXPECT_NE(e.description().find("Nothing was changed."), std::string::npos)
                << e.description();
            EXPECT_EQ(e.description().find("contact"), std::string::npos) << e.description();
        }
        EXPECT_EQ(fileBytes(path), bytes);
        EXPECT_EQ(pipeRows(*db), rows);
        EXPECT_FALSE(fs::exists(access::FileReplacement::backupPathFor(path)));
        EXPECT_FALSE(fs::exists(access::FileReplacement::tempPathFor(path)));
    }

    // Calls the file writer directly on a file the reader would not open.
    void expectWriterRefuses(int number) {
        const std::string bytes = fileBytes(path);
        try {
            access::deleteRowsInFile(path, access::stampOf(path), tdefPage, "Pipe",
                                     {access::rowId(tdefPage + 1, 0)});
            ADD_FAILURE() << "the delete ran";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), number) << e.description();
        }
        EXPECT_EQ(fileBytes(path), bytes);
    }

    QTemporaryDir dir;
    std::string path;
    std::uint32_t tdefPage = 0;
};

TEST_F(AccessRefusal, LockFileOfAccessInAnyLetterCase) {
    for (const char* lock :
         {"pipe-small-indexed.ldb", "PIPE-SMALL-INDEXED.LDB", "pipe-small-indexed.laccdb"}) {
        const std::string lockPath = dir.path().toStdString() + "/" + lock;
        expectRefused(engine_errors::kFileInUse, [&] { std::ofstream(lockPath) << "PC1"; });
        fs::remove(lockPath);
    }
}

TEST_F(AccessRefusal, ReadOnlyFileOrFolder) {
    expectRefused(engine_errors::kReadOnly,
                  [&] { fs::permissions(path, fs::perms::owner_read | fs::perms::group_read); });
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    expectRefused(engine_errors::kReadOnly, [&] {
        fs::permissions(dir.path().toStdString(), fs::perms::owner_read | fs::perms::owner_exec);
    });
}

TEST_F(AccessRefusal, FileChangedSinceItWasRead) {
    expectRefused(engine_errors::kChangedByOthers, [&] {
        // Another program saved the database meanwhile.
        fs::copy_file(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.mdb", path,
                      fs::copy_options::overwrite_existing);
    });
}

TEST_F(AccessRefusal, TableAlreadyOutOfOrder) {
    // A row flagged deleted, and counted so, whose index entries remain:
    // what an editor that crashed half-way leaves. Readers still open it.
    const access::RowId row =
        rowAddresses(importFile(path).db.get(), "Pipe", "UNIQUE_ID = 36").at(0);
    const std::size_t slot = access::rowPage(row) * kPage + 14 + 2 * access::rowSlot(row);
    std::string bytes = fileBytes(path);
    auto* b = reinterpret_cast<std::uint8_t*>(bytes.data());
    access::put16(b + slot, access::get16(b + slot) | access::kSlotDeleted);
    access::put32(b + tdefPage * kPage + 16, access::get32(b + tdefPage * kPage + 16) - 1);
    patch(path, 0, bytes);
    expectRefused(engine_errors::kCannotOpen, [] {});
}

TEST_F(AccessRefusal, ReplicatedDatabase) {
    const std::string tdef = readPage(path, tdefPage);
    const std::string weight("W\0E\0I\0G\0H\0T\0", 12);
    const std::size_t at = tdef.find(weight);
    ASSERT_NE(at, std::string::npos);
    patch(path, tdefPage * kPage + at, std::string("s\0_\0G\0U\0I\0D\0", 12));
    expectRefused(engine_errors::kReplicated, [] {});
}

TEST_F(AccessRefusal, EnforcedRelationship) {
    const std::size_t block = firstLogicalIndex(readPage(path, tdefPage));
    // The related table's page, inside the block after its four lead bytes.
    patch(path, tdefPage * kPage + block + 4 + 13, std::string("\x05\0\0\0", 4));
    expectRefused(engine_errors::kRelatedRecords, [] {});
}

TEST_F(AccessRefusal, AceAndEncodedFiles) {
    patch(path, 0x14, std::string("\x02", 1));
    expectWriterRefuses(engine_errors::kUnrecognizedFormat);

    patch(path, 0x14, std::string("\x01", 1));
    std::string head = fileBytes(path).substr(0, kPage);
    auto* bytes = reinterpret_cast<std::uint8_t*>(head.data());
    access::toggleHeaderScramble(false, bytes);
    access::put32(bytes + 0x3E, 0x12345678);
    access::toggleHeaderScramble(false, bytes);
    patch(path, 0, head);
    expectWriterRefuses(engine_errors::kEncoded);
}

} // namespace
} // namespace korvalt
