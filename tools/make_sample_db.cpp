// Builds the sample pipe database and the two settings files that point the
// program at it, so that a fresh build runs against real-looking data.
//
//     korvalt-make-sample <csv> <out.db> <settings-folder>

#include "PipeCsvReader.h"
#include "SampleDatabaseBuilder.h"
#include "startup/IniFile.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Absolute, tidied, and without a trailing separator.
fs::path cleanPath(const char* given) {
    fs::path path = fs::absolute(given).lexically_normal();
    if (!path.has_filename() && path.has_relative_path())
        path = path.parent_path();
    return path;
}

std::size_t characterCount(const std::string& s) {
    std::size_t count = 0;
    for (const char c : s)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// The program reads the database path with room for 149 characters and the
// settings folder with room for 199; a longer one would come back cut.
void warnIfTooLong(const std::string& value, std::size_t limit, const char* what) {
    if (characterCount(value) > limit)
        std::cerr << "korvalt-make-sample: warning: the " << what << " is longer than " << limit
                  << " characters and will not be read back whole: " << value << '\n';
}

void writeSetting(const std::string& section, const std::string& key, const std::string& value,
                  const fs::path& file) {
    if (!korvalt::IniFile::writeString(section, key, value, file.string()))
        throw std::runtime_error("cannot write " + file.string());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: korvalt-make-sample <csv> <out.db> <settings-folder>\n";
        return 2;
    }
    try {
        const fs::path csv = argv[1];
        const fs::path db = cleanPath(argv[2]);
        const fs::path settings = cleanPath(argv[3]);

        const auto rows = korvalt::PipeCsvReader::parse(readAll(csv));
        fs::create_directories(db.parent_path());
        const std::size_t count = korvalt::SampleDatabaseBuilder::build(rows, db.string());

        fs::create_directories(settings);
        warnIfTooLong(settings.string(), 199, "settings folder");
        warnIfTooLong(db.string(), 149, "database path");
        writeSetting("Korvalt_Address", "KorvaltAddress", settings.string(),
                     settings / "Korvalt_Locate.ini");
        writeSetting("db_address", "dbaddress", db.string(), settings / "Korvalt.ini");

        std::cout << "korvalt-make-sample: " << count << " records into " << db.string() << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "korvalt-make-sample: " << argv[1] << ": " << e.what() << '\n';
        return 1;
    }
}
