#pragma once

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

namespace korvalt::access {

struct IconvCloser {
    void operator()(std::remove_pointer_t<iconv_t>* cd) const { iconv_close(cd); }
};
using IconvPtr = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

// Text as Access stores it, turned into UTF-8.

// Jet 4 text: UCS-2 little endian, or, behind the marker FF FE, "compressed":
// single bytes (code units below 256) and a 00 byte switching to and from
// plain two-byte units.
void decodeJet4Text(const unsigned char* p, std::size_t n, std::string& out);

// Jet 3 text: bytes in the database's code page; `cd` converts from it (or
// is null, and the bytes are read as Latin-1).
void decodeJet3Text(iconv_t cd, const unsigned char* p, std::size_t n, std::string& out);

// A converter from a Windows code page to UTF-8, falling back to 1252.
IconvPtr openCodePage(int codePage);

} // namespace korvalt::access
