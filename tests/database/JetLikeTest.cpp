#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/TextFold.h"

#include <gtest/gtest.h>

#include <QChar>

#include <cstdint>
#include <string>
#include <vector>

namespace korvalt {
namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

// Each pattern with texts it matches and texts it does not.
const struct {
    const char* pattern;
    std::vector<std::string> matching;
    std::vector<std::string> other;
} kPatterns[] = {
    // Literal characters: the whole text, in any case; SQL's wildcards are plain.
    {"abc", {"abc", "ABC"}, {"ab", "abcd", "abc "}},
    {"", {""}, {"a"}},
    {"a%c", {"a%c"}, {"abc"}},
    {"a_c", {"a_c"}, {"abc"}},
    {"a]", {"a]"}, {"a"}},
    // * ? #
    {"*", {"", "abc"}, {}},
    {"?", {"\xC3\xA9", "\xff"}, {"", "ab", "\xC3\xA9\xC3\xA9"}},
    {"a*", {"a", "abc", "A**"}, {"", "ba"}},
    {"*c", {"abc", "c"}, {"ca"}},
    {"*b*", {"abc", "b"}, {"ac"}},
    {"a?c", {"abc", "aXc"}, {"ac", "abbc"}},
    {"a#c", {"a0c", "a1c", "a9c"}, {"abc", "a/c", "a:c", "a12c", "ac"}},
    {"HV-7 *", {"HV-7 ", "hv-7 x"}, {"HV-7"}},
    {"X#1*", {"X11", "x21a"}, {"X#1"}},
    {"?50", {"Ø50"}, {"50"}},
    {"*abd", {"abcabd", "abd"}, {"abdc"}},
    {"*ab*ab", {"abab", "aabxab"}, {"ab"}},
    {"m*iss*ppi", {"mississippi"}, {"mississipp"}},
    {"*sip*", {"mississippi"}, {"mississpi"}},
    {"*a*a*a", {"aaa", "xaxaxa"}, {"aa", "aaab"}},
    {"**a**", {"a", "bab"}, {"b"}},
    // Classes, ranges, negation and the escapes they give.
    {"[abc]", {"a", "b", "c", "B"}, {"d", "", "ab"}},
    {"[a-z]", {"a", "m", "z", "M"}, {"5", "{"}},
    {"[A-Z]", {"m"}, {"5"}},
    {"[b-c]", {"b", "c"}, {"a", "d"}},
    {"[a-a]", {"a"}, {"b"}},
    {"[!abc]", {"d", "z"}, {"a", "A", "c", ""}},
    {"[!a-c]", {"d"}, {"b"}},
    {"[*]", {"*"}, {"x"}},
    {"[?]", {"?"}, {"x"}},
    {"[#]", {"#"}, {"1"}},
    {"[[]", {"["}, {"x"}},
    {"[a-]", {"a", "-"}, {"b"}},
    {"[-a]", {"-", "a"}, {"b"}},
    {"[!]", {"!"}, {"a"}},
    {"a[]b", {"ab"}, {"axb"}},
    {"X[[]2]", {"X[2]"}, {"X2"}},
    {"X[2]*", {"X2", "x2a"}, {"X[2]"}},
    {"[ü]", {"\xC3\x9C", "\xC3\xBC"}, {"u"}},
    {"[à-å]", {"ä", "Ä"}, {"æ", "a"}},
    {"[K-K]", {"k", "\xE2\x84\xAA"}, {"j"}},
    {"[a-b][a-b]", {"ab", "BA"}, {"a", "ac"}},
    // Folding beyond ASCII; no folding of accents or of ß to ss.
    {"*ø50 rück*", {"Ventil Ø50 Rückschlag"}, {"Ventil Ø50 Ruckschlag"}},
    {"ΆΈΉ", {"άέή"}, {"ΑΕΗ"}},
    {"ς", {"σ", "Σ"}, {"s"}},
    {"ẞ", {"ß"}, {"ss"}},
    {"ǆ", {"Ǆ", "ǅ"}, {"dž"}},
    // Bytes that are not UTF-8 are characters equal only to themselves.
    {"\xc3", {"\xc3"}, {"\xc4", "\xc3\xa9"}},
    {"x*", {"x\xe2\x82"}, {}},
};

TEST(JetLike, MatchesLikeTheFileEngine) {
    for (const auto& p : kPatterns) {
        for (const std::string& text : p.matching)
            EXPECT_TRUE(JetLike::matches(text, p.pattern)) << text << " LIKE " << p.pattern;
        for (const std::string& text : p.other)
            EXPECT_FALSE(JetLike::matches(text, p.pattern)) << text << " LIKE " << p.pattern;
    }
    const JetLike compiled("P-1*"); // parsed once, used for every record
    EXPECT_TRUE(compiled.matches("p-10"));
    EXPECT_FALSE(compiled.matches("P-2"));

    for (const char* pattern : {"[abc", "a[", "[", "[!", "X[2", "[z-a]", "[9-0]"}) {
        try {
            JetLike::matches("abc", pattern);
            ADD_FAILURE() << "accepted '" << pattern << "'";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), 3075);
            EXPECT_EQ(e.description(), std::string("Invalid pattern string '") + pattern + "'.");
        }
    }
    // One remembered star: linear in the text, even with many stars.
    const std::string text(20000, 'a');
    std::string stars;
    for (int i = 0; i < 40; ++i)
        stars += "*a";
    EXPECT_TRUE(JetLike::matches(text, stars));
    EXPECT_FALSE(JetLike::matches(text, stars + "*b"));
    EXPECT_FALSE(JetLike::matches(text + "b", stars + "*a"));
}

// Every code point of the scripts folded (Latin, Greek, Cyrillic, Armenian,
// Latin Extended Additional and the letter-like, Roman numeral, circled and
// fullwidth forms) folds to what the Unicode tables say; others stay, and
// so does the capital of an IPA letter, U+01A6.
TEST(TextFold, FoldsEveryLetterOfItsScriptsAsUnicodeDoes) {
    const auto folded = [](char32_t c) {
        return (c < 0x600 && c != 0x1A6) || inRange(c, 0x1E00, 0x1EFF) || c == 0x2126 ||
               c == 0x212A || c == 0x212B || inRange(c, 0x2160, 0x216F) ||
               inRange(c, 0x24B6, 0x24CF) || inRange(c, 0xFF21, 0xFF3A);
    };
    int wrong = 0;
    for (char32_t c = 0; c < 0x10000 && wrong < 20; ++c) {
        const char32_t expected = folded(c) ? QChar::toCaseFolded(c) : c;
        if (foldCodePoint(c) != expected) {
            ++wrong;
            ADD_FAILURE() << std::hex << "U+" << static_cast<std::uint32_t>(c) << " folds to U+"
                          << static_cast<std::uint32_t>(foldCodePoint(c));
        }
    }
    EXPECT_EQ(JetLike::fold("RÜCKSCHLAG Ø50-X ȘȚ ΑΒΓ ПРИВЕТ \xff"
                            "B"),
              "rückschlag ø50-x șț αβγ привет \xff"
              "b");
}

// Order of the folded code points, whatever path the comparison takes:
// eight ASCII bytes at a time, the tail of fewer than eight, or one
// character at a time around non-ASCII text.
TEST(JetLike, ComparesLikeTheFoldedTexts) {
    const auto check = [](const std::string& x, const std::string& y) {
        const int expected = sign(JetLike::fold(x).compare(JetLike::fold(y)));
        ASSERT_EQ(sign(JetLike::compareNoCase(x, y)), expected) << x << " | " << y;
        ASSERT_EQ(sign(JetLike::compareNoCase(y, x)), -expected) << x << " | " << y;
    };
    // Lengths around the word size, a difference at every position.
    const std::string base = "AbCdEfGhIjKlMnOpQrStUvWxYz";
    for (std::size_t length : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 23u, 24u, 25u}) {
        const std::string a = base.substr(0, length);
        for (std::size_t at = 0; at < length; ++at) {
            for (const char* other :
                 {"@", "[", "`", "{", "B", "b", "\xC3\xA4", "\xE2\x84\xAA", "\xC5\xBF", "\xff"}) {
                std::string b = a;
                b.replace(at, 1, other);
                check(a, b);
            }
            std::string flipped = a; // case only: equal
            flipped[at] = static_cast<char>(flipped[at] ^ 0x20);
            EXPECT_EQ(JetLike::compareNoCase(a, flipped), 0) << a << " | " << flipped;
            check(a, a.substr(0, at));
            check(a + "a", flipped);
        }
    }
    EXPECT_EQ(JetLike::compareNoCase("HV-7", "HV-7 "), -1);
    EXPECT_EQ(JetLike::compareNoCase("B", "a"), 1); // not byte order
    EXPECT_EQ(JetLike::compareNoCase("\xff", "\xfe"), 1);
    EXPECT_EQ(JetLike::compareNoCase("a\xff", "A\xff"), 0);
}

} // namespace
} // namespace korvalt
