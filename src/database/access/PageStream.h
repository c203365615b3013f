#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace korvalt::access {

// A read-only stream over a database file for libmdb, which seeks to the end
// (to learn the size) and back before every page it reads: three system
// calls a page through a plain FILE. This stream answers seeks from the size
// it learnt at open and reads through two windows of `window` bytes each, one
// read of the file per window, so that a walk alternating between a table's
// data pages and its usage map reads each region once. Null when the file
// cannot be opened. Closed with fclose.
std::FILE* openPageStream(const std::string& path, std::size_t window = 256 * 1024);

} // namespace korvalt::access
