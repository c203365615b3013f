#include "database/Database.h"
#include "support/EngineCases.h"
#include "support/PipeCsv.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace korvalt {
namespace {

std::string openFailure(const std::string& path) {
    return test_support::errorOf([&] { OpenDatabase(path)->openRecordset("SELECT * FROM Pipe"); });
}

// The kind of a file is told by its content; what cannot be opened says why.
TEST(DatabaseFactory, OpensByContentAndTellsProblemsApart) {
    QTemporaryDir dir;
    const std::string in = dir.path().toStdString() + "/";
    const std::string invalid = "' isn't a valid path. Make sure that the path name is spelled "
                                "correctly and that you are connected to the server on which the "
                                "file resides.";
    const std::string notADatabase = "3343 Unrecognized database format '" + in;
    const struct {
        std::string name;
        std::optional<std::string> content; // none: no such file; "/": a folder
        std::string expected;
    } cases[] = {
        {"missing.mdb", {}, "3024 Could not find file '" + in + "missing.mdb'."},
        {"no-folder/pipe.mdb", {}, "3044 '" + in + "no-folder/pipe.mdb" + invalid},
        {"folder.mdb", "/",
         "3051 The database engine cannot open the file '" + in +
             "folder.mdb'. It is already opened exclusively by another user, or you need "
             "permission to view its data."},
        {"empty.mdb", "", notADatabase + "empty.mdb'."},
        {"text.mdb", "DWG_NAME,LONG_DESC\nAREA1.dwg,Pipe\n", notADatabase + "text.mdb'."},
        {"short.db", "SQLite format ", notADatabase + "short.db'."},
        {"short.mdb", std::string("\0\1\0\0Standard Jet D", 18), notADatabase + "short.mdb'."},
        {"damaged.db", std::string("SQLite format 3\0", 16) + std::string(4000, 'x'),
         notADatabase + "damaged.db'."},
    };
    for (const auto& c : cases) {
        const std::string path = in + c.name;
        if (c.content == "/")
            std::filesystem::create_directory(path);
        else if (c.content)
            std::ofstream(path, std::ios::binary) << *c.content;
        EXPECT_EQ(openFailure(path), c.expected);
    }
    EXPECT_EQ(openFailure(""), "3044 '" + invalid);
    EXPECT_EQ(openFailure("Unknown"), "3044 'Unknown" + invalid);

    const std::string sqlite = in + "pipe.mdb"; // an SQLite file whatever its name
    test_support::writePipeSqlite(sqlite, {});
    EXPECT_EQ(OpenDatabase(sqlite)->path(), sqlite);
}

} // namespace
} // namespace korvalt
