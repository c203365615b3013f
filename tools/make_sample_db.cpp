// Builds the sample pipe database and the two settings files that point the
// program at it, so that a fresh build runs against real-looking data; or
// puts the sample, another pipe database or the benchmarks' synthetic data on
// a database server, so that a team can try the program against its own.
//
//     korvalt-make-sample <csv> <out.db | connection string> <settings-folder> [--replace]
//     korvalt-make-sample --copy <database> <connection string> [--replace]
//     korvalt-make-sample --synthetic <records> <out.db | connection string> [--replace]

#include "PipeCsvReader.h"
#include "SampleDatabaseBuilder.h"
#include "ServerLoader.h"
#include "SyntheticPipe.h"
#include "database/Database.h"
#include "startup/IniFile.h"

#include <QTemporaryDir>

#include <charconv>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

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
                  << " characters and will not be read back whole: " << korvalt::HidePassword(value)
                  << '\n';
}

void writeSetting(const std::string& section, const std::string& key, const std::string& value,
                  const fs::path& file) {
    if (!korvalt::IniFile::writeString(section, key, value, file.string()))
        throw std::runtime_error("cannot write " + file.string());
}

constexpr const char* kUsage =
    "usage: korvalt-make-sample <csv> <out.db | connection string> <settings-folder> "
    "[--replace]\n"
    "       korvalt-make-sample --copy <database> <connection string> [--replace]\n"
    "       korvalt-make-sample --synthetic <records> <out.db | connection string> [--replace]\n"
    "A connection string (DSN=... or DRIVER=...) puts the records in a table \"Pipe\" on that "
    "server;\n--replace lets them take the place of a Pipe table already there.\n";

std::size_t loadWithProgress(korvalt::Database& source, const std::string& server, bool replace) {
    korvalt::ServerLoadOptions options;
    options.replace = replace;
    std::size_t reported = 0;
    options.progress = [&reported](std::size_t sent) {
        if (sent >= reported + 100000) {
            reported = sent;
            std::cerr << "korvalt-make-sample: " << sent << " records sent\n";
        }
    };
    return korvalt::loadIntoServer(source, server, options);
}

// Writes a pipe database with `build` (which returns its record count) at
// `output`, a file path or a server's connection string: for a server, into
// a temporary file first, loaded from there.
std::size_t writeRecords(const std::string& output, bool replace,
                         const std::function<std::size_t(const std::string&)>& build) {
    if (!korvalt::IsConnectionString(output)) {
        const fs::path db = cleanPath(output.c_str());
        fs::create_directories(db.parent_path());
        return build(db.string());
    }
    QTemporaryDir folder;
    if (!folder.isValid())
        throw std::runtime_error("cannot make a temporary folder");
    const std::string file = folder.filePath("pipe.db").toStdString();
    build(file);
    const std::unique_ptr<korvalt::Database> source = korvalt::OpenDatabase(file);
    return loadWithProgress(*source, output, replace);
}

// The address as the settings and messages give it: a file path made
// absolute, a connection string as it is.
std::string addressOf(const std::string& output) {
    return korvalt::IsConnectionString(output) ? output : cleanPath(output.c_str()).string();
}

void report(std::size_t count, const std::string& output) {
    std::cout << "korvalt-make-sample: " << count << " records into "
              << korvalt::HidePassword(addressOf(output)) << '\n';
}

int makeSample(const std::string& csvPath, const std::string& output,
               const std::string& settingsFolder, bool replace) {
    try {
        const fs::path csv = csvPath;
        const fs::path settings = cleanPath(settingsFolder.c_str());
        const auto rows = korvalt::PipeCsvReader::parse(readAll(csv));
        const std::size_t count = writeRecords(output, replace, [&](const std::string& file) {
            return korvalt::SampleDatabaseBuilder::build(rows, file);
        });

        const std::string address = addressOf(output);
        fs::create_directories(settings);
        warnIfTooLong(settings.string(), 199, "settings folder");
        warnIfTooLong(address, 149, "database path");
        writeSetting("Korvalt_Address", "KorvaltAddress", settings.string(),
                     settings / "Korvalt_Locate.ini");
        writeSetting("db_address", "dbaddress", address, settings / "Korvalt.ini");
        report(count, output);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "korvalt-make-sample: " << csvPath << ": " << e.what() << '\n';
        return 1;
    }
}

int copy(const std::string& database, const std::string& server, bool replace) {
    if (!korvalt::IsConnectionString(server)) {
        std::cerr << "korvalt-make-sample: --copy needs a connection string (DSN=... or "
                     "DRIVER=...), not "
                  << server << '\n';
        return 2;
    }
    try {
        const std::unique_ptr<korvalt::Database> source = korvalt::OpenDatabase(database);
        report(loadWithProgress(*source, server, replace), server);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "korvalt-make-sample: " << korvalt::HidePassword(database) << ": " << e.what()
                  << '\n';
        return 1;
    }
}

int synthetic(const std::string& records, const std::string& output, bool replace) {
    int count = 0;
    const char* end = records.data() + records.size();
    const auto [stop, error] = std::from_chars(records.data(), end, count);
    if (error != std::errc() || stop != end || count <= 0) {
        std::cerr << "korvalt-make-sample: the record count must be a whole number from 1 to "
                  << INT_MAX << ", not " << records << '\n';
        return 2;
    }
    try {
        report(writeRecords(output, replace,
                            [count](const std::string& file) {
                                korvalt::SyntheticPipe::write(file, count);
                                return static_cast<std::size_t>(count);
                            }),
               output);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "korvalt-make-sample: " << e.what() << '\n';
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    bool replace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--replace")
            replace = true;
        else
            args.push_back(arg);
    }
    if (args.size() == 3 && args[0] == "--copy")
        return copy(args[1], args[2], replace);
    if (args.size() == 3 && args[0] == "--synthetic")
        return synthetic(args[1], args[2], replace);
    if (args.size() == 3 && !args[0].starts_with("--"))
        return makeSample(args[0], args[1], args[2], replace);
    std::cerr << kUsage;
    return 2;
}
