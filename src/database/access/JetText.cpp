#include "database/access/JetText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace korvalt::access {

namespace {

std::uint32_t le16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

constexpr std::uint32_t kReplacementChar = 0xFFFD;

// Appends one UTF-16 code unit; `high` carries a pending high surrogate.
void appendUtf16Unit(std::string& out, std::uint32_t unit, std::uint32_t& high) {
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (high != 0)
            appendUtf8(out, kReplacementChar);
        high = unit;
        return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        appendUtf8(out, high != 0 ? 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00)
                                  : kReplacementChar);
        high = 0;
        return;
    }
    if (high != 0) {
        appendUtf8(out, kReplacementChar);
        high = 0;
    }
    appendUtf8(out, unit);
}

} // namespace

// Jet 4 text: UCS-2 little endian, or, behind the marker FF FE, "compressed":
// single bytes (code units below 256) and a 00 byte switching to and from
// plain two-byte units.
void decodeJet4Text(const unsigned char* p, std::size_t n, std::string& out) {
    out.clear();
    std::uint32_t high = 0;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        std::size_t i = 2;
        while (i < n) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                appendUtf16Unit(out, p[i], high);
                ++i;
            } else if (i + 1 < n) {
                appendUtf16Unit(out, le16(p + i), high);
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (std::size_t i = 0; i + 1 < n; i += 2)
            appendUtf16Unit(out, le16(p + i), high);
    }
    if (high != 0)
        appendUtf8(out, kReplacementChar);
}

// Jet 3 text: bytes in the database's code page.
void decodeJet3Text(iconv_t cd, const unsigned char* p, std::size_t n, std::string& out) {
    out.clear();
    if (std::all_of(p, p + n, [](unsigned char c) { return c < 0x80; })) {
        out.assign(reinterpret_cast<const char*>(p), n);
        return;
    }
    if (cd == nullptr) { // no converter at all: read the bytes as Latin-1
        for (std::size_t i = 0; i < n; ++i)
            appendUtf8(out, p[i]);
        return;
    }
    out.resize(n * 4 + 4);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(reinterpret_cast<const char*>(p));
    std::size_t inLeft = n;
    char* dest = out.data();
    std::size_t destLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dest, &destLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG || destLeft < 3)
            break;
        // Unmappable or cut-off byte: mark it and keep going after it.
        std::memcpy(dest, "\xEF\xBF\xBD", 3);
        dest += 3;
        destLeft -= 3;
        ++in;
        --inLeft;
    }
    out.resize(out.size() - destLeft);
}

IconvPtr openCodePage(int codePage) {
    std::vector<std::string> names;
    if (codePage > 0) {
        names.push_back("CP" + std::to_string(codePage));
        names.push_back("WINDOWS-" + std::to_string(codePage));
    }
    names.emplace_back("CP1252");
    for (const std::string& name : names) {
        iconv_t cd = iconv_open("UTF-8", name.c_str());
        if (cd != reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1)))
            return IconvPtr(cd);
    }
    return IconvPtr();
}

} // namespace korvalt::access
