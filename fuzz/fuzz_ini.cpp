// Fuzzes the settings-file reader and writer: the input is the content of a
// settings file. Entries are read with buffers of several sizes, then one is
// written and must read back as written.

#include "startup/IniFile.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>

namespace {

using korvalt::IniFile;

std::string scratchFile() {
    return (std::filesystem::temp_directory_path() /
            ("korvalt-fuzz-ini-" + std::to_string(getpid()) + ".ini"))
        .string();
}

// The first "[section]" and the first "key=" of the content, so that names
// the input itself uses are looked up too.
std::pair<std::string, std::string> namesIn(std::string_view content) {
    std::string section, key;
    if (const auto open = content.find('['); open != std::string_view::npos) {
        const auto close = content.find(']', open);
        if (close != std::string_view::npos)
            section = content.substr(open + 1, close - open - 1);
    }
    if (const auto eq = content.find('='); eq != std::string_view::npos) {
        const auto lineStart = content.rfind('\n', eq);
        const auto from = lineStart == std::string_view::npos ? 0 : lineStart + 1;
        key = content.substr(from, eq - from);
    }
    return {section, key};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const std::string file = scratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    const auto [section, key] = namesIn(content);
    for (std::size_t buffer : {0u, 1u, 2u, 7u, 255u, 4096u}) {
        (void)IniFile::getString("db_address", "dbaddress", "Unknown", buffer, file);
        (void)IniFile::getString("Korvalt_Address", "KorvaltAddress", "Unknown", buffer, file);
        (void)IniFile::getString(section, key, "  default  ", buffer, file);
    }

    // Writing keeps the file readable and the new value is what comes back.
    const std::string value = "/data/plant " + std::to_string(size) + "/pipe.mdb";
    if (IniFile::writeString("db_address", "dbaddress", value, file) &&
        IniFile::getString("db_address", "dbaddress", "", 4096, file) != value)
        std::abort();
    (void)IniFile::writeString(section, key, std::string(content.substr(0, 64)), file);
    (void)IniFile::getString(section, key, "", 4096, file);

    std::remove(file.c_str());
    return 0;
}
