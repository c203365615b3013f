#include "database/JetLike.h"

#include "database/EngineError.h"
#include "database/TextFold.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace korvalt {

namespace {

[[noreturn]] void malformed(std::string_view pattern) {
    throw EngineError(engine_errors::kSyntaxError,
                      "Invalid pattern string '" + std::string(pattern) + "'.");
}

// Eight bytes of text as one word, for comparing ASCII eight letters at a
// time (most keys are ASCII).
constexpr std::uint64_t kHighBits = 0x8080808080808080u;
constexpr std::uint64_t kEachByte = 0x0101010101010101u;

std::uint64_t loadWord(const char* p) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// The `n` (1 to 7) bytes of `text` at `at` as a word of the same byte
// order as loadWord(), the bytes after them zero.
std::uint64_t loadTail(std::string_view text, std::size_t at, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        // One load of the eight bytes ending there, when the text has them,
        // rather than a copy of a variable length.
        if (at + n >= 8) {
            return loadWord(text.data() + at + n - 8) >> ((8 - n) * 8);
        }
    }
    std::uint64_t w = 0;
    std::memcpy(&w, text.data() + at, n);
    return w;
}

// A-Z to a-z in every byte of a word of ASCII bytes (no byte above 0x7F, so
// the additions below never carry into the next byte).
std::uint64_t foldAsciiWord(std::uint64_t w) {
    const std::uint64_t atLeastA = w + kEachByte * (0x80 - 'A');
    const std::uint64_t aboveZ = w + kEachByte * (0x80 - 'Z' - 1);
    const std::uint64_t upper = atLeastA & ~aboveZ & kHighBits;
    return w | (upper >> 2); // 0x80 >> 2 is the 0x20 between the cases
}

// A word whose numeric order is the order of its bytes in memory.
std::uint64_t byteOrderKey(std::uint64_t w) {
    if constexpr (std::endian::native == std::endian::little) {
        return __builtin_bswap64(w);
    } else {
        return w;
    }
}

} // namespace

JetLike::JetLike(std::string_view pattern) {
    std::size_t i = 0;
    while (i < pattern.size()) {
        const Decoded d = decodeUtf8(pattern, i);
        i += d.length;
        switch (d.cp) {
        case '*':
            // A run of stars is one star; keeping one makes matching cheaper.
            if (m_elements.empty() || m_elements.back().kind != Kind::Star) {
                m_elements.push_back(Element{Kind::Star});
            }
            break;
        case '?':
            m_elements.push_back(Element{Kind::AnyOne});
            break;
        case '#':
            m_elements.push_back(Element{Kind::Digit});
            break;
        case '[': {
            Element e{Kind::Class};
            e.firstRange = m_ranges.size();
            bool first = true;
            bool closed = false;
            while (i < pattern.size()) {
                Decoded m = decodeUtf8(pattern, i);
                i += m.length;
                if (m.cp == ']') {
                    closed = true;
                    break;
                }
                // A leading ! negates, except in "[!]", which is the ! itself.
                if (first && m.cp == '!' && i < pattern.size() && pattern[i] != ']') {
                    e.negated = true;
                    first = false;
                    continue;
                }
                first = false;
                Range r{m.cp, m.cp};
                if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
                    const Decoded high = decodeUtf8(pattern, i + 1);
                    if (high.cp < m.cp) {
                        malformed(pattern);
                    }
                    r.high = high.cp;
                    i += 1 + high.length;
                }
                m_ranges.push_back(r);
            }
            if (!closed) {
                malformed(pattern);
            }
            e.rangeCount = m_ranges.size() - e.firstRange;
            if (e.rangeCount > 0 || e.negated) {
                m_elements.push_back(e);
            }
            break;
        }
        default: {
            Element e{Kind::Literal};
            e.literal = foldCodePoint(d.cp);
            m_elements.push_back(e);
            break;
        }
        }
    }
}

bool JetLike::elementMatches(const Element& e, char32_t c) const {
    switch (e.kind) {
    case Kind::AnyOne:
        return true;
    case Kind::Digit:
        return c >= '0' && c <= '9';
    case Kind::Literal:
        return foldCodePoint(c) == e.literal;
    case Kind::Class: {
        const char32_t folded = foldCodePoint(c);
        bool found = false;
        for (std::size_t k = 0; k < e.rangeCount && !found; ++k) {
            const Range& r = m_ranges[e.firstRange + k];
            found = inRange(c, r.low, r.high) || inRange(folded, r.low, r.high) ||
                    inRange(folded, foldCodePoint(r.low), foldCodePoint(r.high));
        }
        return found != e.negated;
    }
    case Kind::Star:
        break;
    }
    return false;
}

bool JetLike::matches(std::string_view text) const {
    // Greedy matching with a single remembered star: when a later element
    // fails, only the most recent star takes one more character. Earlier stars
    // never need to be revisited, which keeps the work at text x pattern.
    const std::size_t count = m_elements.size();
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t starElement = count; // none yet
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < count && m_elements[p].kind == Kind::Star) {
            starElement = p++;
            starText = t;
            continue;
        }
        const Decoded d = decodeUtf8(text, t);
        if (p < count && elementMatches(m_elements[p], d.cp)) {
            ++p;
            t += d.length;
            continue;
        }
        if (starElement == count) {
            return false;
        }
        p = starElement + 1;
        starText += decodeUtf8(text, starText).length;
        t = starText;
    }
    while (p < count && m_elements[p].kind == Kind::Star) {
        ++p;
    }
    return p == count;
}

bool JetLike::matches(std::string_view text, std::string_view pattern) {
    return JetLike(pattern).matches(text);
}

int JetLike::compareNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    // Sorting and DISTINCT call this for every pair they compare, and sorted
    // keys share long prefixes: eight ASCII bytes at a time first.
    while (i + 8 <= a.size() && j + 8 <= b.size()) {
        const std::uint64_t x = loadWord(a.data() + i);
        const std::uint64_t y = loadWord(b.data() + j);
        if (((x | y) & kHighBits) != 0) {
            break; // a multi-byte character: decode below
        }
        if (x != y) {
            const std::uint64_t fx = foldAsciiWord(x);
            const std::uint64_t fy = foldAsciiWord(y);
            if (fx != fy) {
                return byteOrderKey(fx) < byteOrderKey(fy) ? -1 : 1;
            }
        }
        i += 8;
        j += 8;
    }
    // The last few bytes of the shorter text, likewise, zero-padded alike.
    const std::size_t rest = std::min(a.size() - i, b.size() - j);
    if (rest > 0 && rest < 8) {
        const std::uint64_t x = loadTail(a, i, rest);
        const std::uint64_t y = loadTail(b, j, rest);
        if (((x | y) & kHighBits) == 0) {
            if (x != y) {
                const std::uint64_t fx = foldAsciiWord(x);
                const std::uint64_t fy = foldAsciiWord(y);
                if (fx != fy) {
                    return byteOrderKey(fx) < byteOrderKey(fy) ? -1 : 1;
                }
            }
            i += rest;
            j += rest;
        }
    }
    while (i < a.size() && j < b.size()) {
        // Sorting and DISTINCT call this for every pair they compare; most
        // text is ASCII, which folds without decoding.
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca < 0x80 && cb < 0x80) {
            if (ca != cb) {
                const char32_t fx = foldCodePoint(ca);
                const char32_t fy = foldCodePoint(cb);
                if (fx != fy)
                    return fx < fy ? -1 : 1;
            }
            ++i;
            ++j;
            continue;
        }
        const Decoded x = decodeUtf8(a, i);
        const Decoded y = decodeUtf8(b, j);
        const char32_t fx = foldCodePoint(x.cp);
        const char32_t fy = foldCodePoint(y.cp);
        if (fx != fy) {
            return fx < fy ? -1 : 1;
        }
        i += x.length;
        j += y.length;
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

std::string JetLike::fold(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const Decoded d = decodeUtf8(text, i);
        if (d.cp >= kInvalidBase) {
            out += text[i];
        } else {
            encodeUtf8(foldCodePoint(d.cp), out);
        }
        i += d.length;
    }
    return out;
}

} // namespace korvalt
