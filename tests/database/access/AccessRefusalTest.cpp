// Every reason Korvalt has for not deleting inside an Access file: each is
// reported with its own number and message, and neither the file nor the
// copy in memory changes.

#include "database/Database.h"
#include "database/EngineError.h"
#include "database/access/AccessDelete.h"
#include "database/access/FileReplacement.h"
#include "database/access/PageFile.h"
#include "support/AccessFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace korvalt {
namespace {

using namespace test_support;
namespace fs = std::filesystem;
using access::get16;
using access::get32;

constexpr std::size_t kPage = 4096;

TEST(AccessRefusal, EachReasonHasItsNumberAndMessageAndChangesNothing) {
    const std::string nothing = " Nothing was changed.";
    const struct {
        const char* what;
        int number;
        // Spoils the file's bytes (of the table definition at `tdef`) before
        // it is opened, or the folder after.
        std::function<void(std::string& bytes, const Imported& file)> spoil;
        std::function<void(const std::string& path)> after;
        std::string message; // empty: not compared
    } cases[] = {
        // What an editor that crashed half-way leaves; readers still open it.
        {"five rows deleted without their index entries", engine_errors::kCannotOpen,
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
         nullptr,
         "The table 'Pipe' in '%' is not in order (Index 0 has an entry for page 33 slot 2, "
         "which is a deleted row.; Index 0 has an entry for page 33 slot 3, which is a deleted "
         "row.; Index 0 has an entry for page 33 slot 4, which is a deleted row.; and 12 more). "
         "Korvalt changes only sound files: compact and repair the database in Access, then try "
         "again." +
             nothing},
        {"a replica", engine_errors::kReplicated,
         [](std::string& bytes, const Imported& file) {
             const std::size_t tdef = file.table("Pipe").tdefPage;
             const std::size_t at = bytes.find(std::string("W\0E\0I\0G\0H\0T\0", 12), tdef * kPage);
             bytes.replace(at, 12, std::string("s\0_\0G\0U\0I\0D\0", 12));
         },
         nullptr,
         "The database is a replica: its deletions must be passed on to the other replicas, "
         "which only Access can do. Delete in Access instead." +
             nothing},
        {"a column of a later kind", engine_errors::kNotSupported,
         [](std::string& bytes, const Imported& file) {
             const std::size_t page = file.table("Pipe").tdefPage * kPage;
             const unsigned indexes = get16(reinterpret_cast<std::uint8_t*>(&bytes[page + 51]));
             bytes[page + 63 + indexes * 12 + 13 * 25] = 0x11; // the WEIGHT column
         },
         nullptr,
         "The table 'Pipe' has a column ('WEIGHT') of a kind Korvalt does not change." + nothing},
        {"saved by another program meanwhile", engine_errors::kChangedByOthers, nullptr,
         [](const std::string& path) {
             fs::copy_file(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.mdb", path,
                           fs::copy_options::overwrite_existing);
         },
         ""},
        {"open in Access", engine_errors::kFileInUse, nullptr,
         [](const std::string& path) {
             std::ofstream(fs::path(path).parent_path() / "PIPE-SMALL-INDEXED.LDB") << "PC1";
         },
         ""},
        {"read-only", engine_errors::kReadOnly, nullptr,
         [](const std::string& path) { fs::permissions(path, fs::perms::owner_read); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const std::string path =
            copyFixture(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small-indexed.mdb",
                        dir.path().toStdString());
        if (c.spoil) {
            std::string bytes = fileBytes(path);
            c.spoil(bytes, importFile(path));
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        }
        const auto db = OpenDatabase(path);
        const auto rows = pipeRows(*db);
        if (c.after)
            c.after(path);
        const std::string bytes = fileBytes(path);
        try {
            db->execute("DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"");
            ADD_FAILURE() << "the delete ran";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), c.number) << e.description();
            std::string message = c.message;
            if (const auto at = message.find('%'); at != std::string::npos)
                message.replace(at, 1, path);
            EXPECT_TRUE(message.empty() || e.description() == message) << e.description();
            EXPECT_TRUE(e.description().ends_with(nothing)) << e.description();
        }
        EXPECT_EQ(fileBytes(path), bytes);
        EXPECT_EQ(pipeRows(*db), rows);
        EXPECT_FALSE(fs::exists(access::FileReplacement::backupPathFor(path)));
        EXPECT_FALSE(fs::exists(access::FileReplacement::tempPathFor(path)));
        fs::permissions(path, fs::perms::owner_all);
    }
}

} // namespace
} // namespace korvalt
