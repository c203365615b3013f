#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvalt {

// UTF-8 and the case folding behind the engine's case-insensitive text
// comparison (JetLike): simple Unicode folding for the Latin, Greek,
// Cyrillic and Armenian scripts.

// Bytes that are not valid UTF-8 decode to values above the Unicode range, one
// per byte value: they compare consistently, equal only to themselves, and
// never match a letter.
constexpr char32_t kInvalidBase = 0x110000;

struct Decoded {
    char32_t cp;
    std::size_t length;
};

// The code point starting at byte `i` of `s` (not past its end).
Decoded decodeUtf8(std::string_view s, std::size_t i);

// Appends a code point (of the Unicode range) as UTF-8.
void encodeUtf8(char32_t cp, std::string& out);

// Whether c lies in [low, high].
inline bool inRange(char32_t c, char32_t low, char32_t high) {
    return c >= low && c <= high;
}

// The small letter of a capital (simple folding); anything else unchanged.
char32_t foldCodePoint(char32_t c);

// Whether `name` folds to `folded` (as JetLike::fold would give it) when
// `name` is ASCII, without making the folded copy: folding ASCII is
// lowering A-Z.
bool asciiFoldsTo(std::string_view name, std::string_view folded);

} // namespace korvalt
