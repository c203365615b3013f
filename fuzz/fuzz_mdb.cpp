// Fuzzes the Access-file reader and writer: the input is written to a file
// that is then opened the way the program opens a database (OpenDatabase
// recognises it and MdbImport copies its tables through libmdb), searched,
// and then the first drawing found is deleted from it, inside the file.
// Rejections and refusals come as EngineError; a crash, hang or sanitizer
// report inside the reader, the writer or libmdb is a finding.

#include "database/Database.h"
#include "database/EngineError.h"
#include "database/access/FileReplacement.h"

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

// The delete leaves the old file beside the new one.
void removeAll(const std::string& file) {
    std::remove(file.c_str());
    std::remove(korvalt::access::FileReplacement::backupPathFor(file).c_str());
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
        std::string drawing;
        {
            const auto rs = db->openRecordset("SELECT * FROM Pipe ORDER BY Tag");
            for (int n = 0; !rs->isEof() && n < 100; ++n) {
                (void)rs->fields("Tag");
                (void)rs->fields("LENGTH");
                if (drawing.empty() && rs->fields("DWG_NAME").isText())
                    drawing = rs->fields("DWG_NAME").asText();
                rs->moveNext();
            }
        }
        if (!drawing.empty())
            db->execute("DELETE FROM pipe WHERE DWG_NAME = \"" + drawing + "\"");
    } catch (const korvalt::EngineError&) {
    }
    removeAll(file);
    return 0;
}
