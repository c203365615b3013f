// Fuzzes the Access-file reader: the input is written to a file that is then
// opened the way the program opens a database (OpenDatabase recognises it and
// MdbImport copies its tables through libmdb). Rejections come as EngineError;
// a crash, hang or sanitizer report inside MdbImport or libmdb is a finding.

#include "database/Database.h"
#include "database/EngineError.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string scratchFile() {
    return (std::filesystem::temp_directory_path() /
            ("korvalt-fuzz-mdb-" + std::to_string(getpid()) + ".mdb"))
        .string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = scratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        const auto db = korvalt::OpenDatabase(file);
        const auto rs = db->openRecordset("SELECT * FROM Pipe ORDER BY Tag");
        for (int n = 0; !rs->isEof() && n < 100; ++n) {
            (void)rs->fields("Tag");
            (void)rs->fields("LENGTH");
            rs->moveNext();
        }
    } catch (const korvalt::EngineError&) {
    }
    std::remove(file.c_str());
    return 0;
}
