#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt {

// Text comparison the way the file engine does it: letters compare without
// regard to case (simple Unicode case folding for the Latin, Greek, Cyrillic
// and Armenian scripts, on UTF-8 text), and LIKE patterns use the engine's
// wildcards rather than SQL's % and _.
//
// A JetLike object is one compiled pattern, so that a query testing many
// records parses its pattern once.
class JetLike {
public:
    // Compiles a LIKE pattern:
    //   *      any run of characters, also none
    //   ?      exactly one character
    //   #      exactly one digit 0-9
    //   [abc]  one of the listed characters; [a-z] ranges; [!abc] none of them
    //   [*] [?] [#] [[]  the wildcard character itself; [] matches nothing
    //   and is skipped
    // A `[` without its `]`, or a range whose ends are in descending order, is a
    // malformed pattern and raises EngineError.
    explicit JetLike(std::string_view pattern);

    bool matches(std::string_view text) const;

    // One-off form of the above.
    static bool matches(std::string_view text, std::string_view pattern);

    // Collation order: the case-folded code points of both texts, compared in
    // order; negative, zero or positive like strcmp.
    static int compareNoCase(std::string_view a, std::string_view b);

    // The text with every letter case-folded (for case-insensitive lookups).
    static std::string fold(std::string_view text);

private:
    enum class Kind : std::uint8_t { Star, AnyOne, Digit, Literal, Class };
    struct Element {
        explicit Element(Kind k) : kind(k) {}
        Kind kind;
        bool negated = false;
        char32_t literal = 0; // folded, for Kind::Literal
        std::size_t firstRange = 0;
        std::size_t rangeCount = 0;
    };
    struct Range {
        char32_t low;
        char32_t high;
    };

    bool elementMatches(const Element& e, char32_t c) const;

    std::vector<Element> m_elements;
    std::vector<Range> m_ranges;
};

} // namespace korvalt
