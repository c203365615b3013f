#pragma once

#include <cstdint>
#include <string>

namespace korvalt {

// Writes a pipe database of `records` records in our SQLite format, the same
// for the same seed: about 300 drawings, 40 specifications and 30 sizes;
// about 3% of the records lack a line number and 5% a tag (as Null, empty
// or blank text); tags that repeat, tags that begin other tags and tags
// that differ only in case.
class SyntheticPipe {
public:
    static void write(const std::string& path, int records, std::uint32_t seed = 20240601);
};

} // namespace korvalt
