#include "database/Database.h"

#include "database/EngineError.h"
#include "database/access/AccessDatabase.h"
#include "database/SqliteDatabase.h"
#include "database/odbc/OdbcDatabase.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace korvalt {

namespace {

using engine_errors::kCannotOpenFile;

enum class FileKind { Sqlite, Access, Unknown };

[[noreturn]] void cannotOpen(const std::string& path) {
    throw EngineError(kCannotOpenFile, "The database engine cannot open the file '" + path +
                                           "'. It is already opened exclusively by another "
                                           "user, or you need permission to view its data.");
}

// Checks the path the way the file engine words its complaints: a path that
// cannot name a file, a file that is not there, a file that cannot be read.
void checkPath(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file(path);
    const fs::path parent = file.has_parent_path() ? file.parent_path() : fs::path(".");
    if (path.empty() || path == "Unknown" || !file.has_filename() ||
        !fs::is_directory(parent, ec)) {
        throw EngineError(engine_errors::kInvalidPath,
                          "'" + path +
                              "' isn't a valid path. Make sure that the path name is spelled "
                              "correctly and that you are connected to the server on which the "
                              "file resides.");
    }
    const fs::file_status status = fs::status(file, ec);
    if (!fs::exists(status)) {
        throw EngineError(engine_errors::kFileNotFound, "Could not find file '" + path + "'.");
    }
    if (!fs::is_regular_file(status)) {
        cannotOpen(path);
    }
}

FileKind recognise(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        cannotOpen(path);
    }
    std::array<char, 20> header{};
    in.read(header.data(), static_cast<std::streamsize>(header.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    const std::string_view bytes(header.data(), got);
    if (bytes.size() >= 16 && bytes.substr(0, 16) == std::string_view("SQLite format 3\0", 16)) {
        return FileKind::Sqlite;
    }
    if (bytes.size() >= 19 &&
        (bytes.substr(4, 15) == "Standard Jet DB" || bytes.substr(4, 15) == "Standard ACE DB")) {
        return FileKind::Access;
    }
    return FileKind::Unknown;
}

} // namespace

std::unique_ptr<Database> OpenDatabase(const std::string& path) {
    if (IsConnectionString(path))
        return OdbcDatabase::connect(path);
    checkPath(path);
    switch (recognise(path)) {
    case FileKind::Sqlite:
        return SqliteDatabase::openFile(path);
    case FileKind::Access:
        return AccessDatabase::open(path);
    case FileKind::Unknown:
        break;
    }
    throw EngineError(engine_errors::kUnrecognizedFormat,
                      "Unrecognized database format '" + path + "'.");
}

} // namespace korvalt
