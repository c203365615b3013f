#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/TextFold.h"

#include <gtest/gtest.h>

#include <QChar>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace korvalt {
namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

struct LikeCase {
    const char* text;
    const char* pattern;
    bool expected;
};

const LikeCase kLikeCases[] = {
    // Literal characters: whole text, any case; SQL's own wildcards are plain.
    {"abc", "abc", true},
    {"ABC", "abc", true},
    {"abc", "ab", false},
    {"ab", "abc", false},
    {"", "", true},
    {"a", "", false},
    {"P-1 ", "P-1", false},
    {"a%c", "a%c", true},
    {"abc", "a%", false},
    {"a_c", "a_c", true},
    {"abc", "a_c", false},
    {"a]", "a]", true},
    // * ? #
    {"", "*", true},
    {"", "?", false},
    {"abc", "a*", true},
    {"abc", "*c", true},
    {"abc", "*b*", true},
    {"abc", "*d*", false},
    {"abc", "a?c", true},
    {"ac", "a?c", false},
    {"abbc", "a?c", false},
    {"a1c", "a#c", true},
    {"a0c", "a#c", true},
    {"a9c", "a#c", true},
    {"abc", "a#c", false},
    {"a/c", "a#c", false},
    {"a:c", "a#c", false},
    {"a12c", "a#c", false},
    {"p-1", "P-1*", true},
    {"HV-7", "HV-7 *", false},
    {"HV-7 ", "HV-7*", true},
    {"X#1", "X#1*", false},
    {"X11", "X#1*", true},
    {"é", "?", true},
    {"é", "??", false},
    {"Ø50", "?50", true},
    {"abcabd", "*abd", true},
    {"aab", "*ab", true},
    {"abab", "*ab*ab", true},
    {"mississippi", "m*iss*ppi", true},
    {"mississippi", "*sip*", true},
    {"mississippi", "*sipx*", false},
    {"aaa", "*a*a*a", true},
    {"aa", "*a*a*a", false},
    {"a", "**a**", true},
    {"ab", "a**", true},
    {"b", "a**", false},
    // Classes, ranges, negation and the escapes they give.
    {"b", "[abc]", true},
    {"d", "[abc]", false},
    {"B", "[abc]", true},
    {"m", "[a-z]", true},
    {"M", "[a-z]", true},
    {"m", "[A-Z]", true},
    {"5", "[a-z]", false},
    {"5", "[0-9]", true},
    {"d", "[!abc]", true},
    {"a", "[!abc]", false},
    {"A", "[!abc]", false},
    {"", "[!abc]", false},
    {"*", "[*]", true},
    {"x", "[*]", false},
    {"?", "[?]", true},
    {"x", "[?]", false},
    {"#", "[#]", true},
    {"1", "[#]", false},
    {"[", "[[]", true},
    {"-", "[a-]", true},
    {"-", "[-a]", true},
    {"b", "[a-]", false},
    {"!", "[!]", true},
    {"ab", "a[]b", true},
    {"X[2]", "X[[]2]", true},
    {"X2", "X[2]*", true},
    {"X[2]", "X[2]*", false},
    {"T-1", "[!PT]-1", false},
    {"c-1", "[a-c]-1", true},
    {"Ü", "[ü]", true},
    {"ä", "[à-å]", true},
    {"Ä", "[à-å]", true},
    {"æ", "[à-å]", false},
    {"ab", "[a-b][a-b]", true},
    {"b", "[!a-c]", false},
    {"k", "[K-K]", true},
    {"\xE2\x84\xAA", "[k]", true},
    {"c", "[a-b]", false},
    {"a", "[b-c]", false},
    {"z", "[!a]", true},
    {"a", "[a-a]", true},
    // Case folding beyond ASCII; no folding of accents or of ß to ss.
    {"Ø50", "ø50", true},
    {"Rückschlagventil", "*VENTIL", true},
    {"Ventil Ø50 Rückschlag", "*ø50 rück*", true},
    {"αβγ", "ΑΒΓ", true},
    {"ΆΈΉ", "άέή", true},
    {"σ", "ς", true},
    {"привет", "ПРИВЕТ", true},
    {"ЁЖ", "ёж", true},
    {"ÿ", "Ÿ", true},
    {"ß", "ẞ", true},
    {"Łódź", "ŁÓDŹ", true},
    {"Ǆ", "ǆ", true},
    {"Ａ", "ａ", true},
    {"ȘȚ", "șț", true},
    {"u", "ü", false},
    {"ss", "ß", false},
    // Bytes that are not UTF-8 are single characters equal only to themselves.
    {"a\xff", "a?", true},
    {"\xc3", "\xc3", true},
    {"\xc3", "\xc4", false},
    {"x\xe2\x82", "x*", true},
    {"\xc3\xa9", "\xc3", false}};

TEST(JetLike, MatchesLikeTheFileEngine) {
    for (const LikeCase& c : kLikeCases) {
        EXPECT_EQ(JetLike::matches(c.text, c.pattern), c.expected)
            << "'" << c.text << "' LIKE '" << c.pattern << "'";
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
            for (const char* other : {"@", "[", "`", "{", "B", "b", "\xC3\xA4", "\xff"}) {
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
    // Texts mixing ASCII runs, near-letter signs and letters that fold
    // into or out of ASCII (Kelvin sign, long s), with long shared prefixes.
    const char* const pieces[] = {"a", "A",        "z", "Z", "@",        "[",        "`",
                                  "{", "0",        " ", "-", "\xC3\xA4", "\xC3\x84", "\xE2\x84\xAA",
                                  "k", "\xC5\xBF", "s"};
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 5000; ++round) {
        std::vector<const char*> a;
        const auto length = next(24);
        for (std::uint32_t i = 0; i < length; ++i)
            a.push_back(pieces[next(round % 4 == 0 ? std::size(pieces) : 10)]);
        const auto kept = next(length + 1);
        std::vector<const char*> b(a.begin(), a.begin() + kept);
        for (std::uint32_t i = next(3); i > 0; --i)
            b.push_back(pieces[next(std::size(pieces))]);
        for (std::uint32_t i = kept, n = next(12); i < length && n > 0; ++i, --n)
            b.push_back(a[i]);
        std::string x;
        std::string y;
        for (const char* piece : a)
            x += piece;
        for (const char* piece : b)
            y += piece;
        check(x, y);
    }
    EXPECT_EQ(JetLike::compareNoCase("HV-7", "HV-7 "), -1);
    EXPECT_EQ(JetLike::compareNoCase("B", "a"), 1); // not byte order
    EXPECT_EQ(JetLike::compareNoCase("\xff", "\xfe"), 1);
    EXPECT_EQ(JetLike::compareNoCase("a\xff", "A\xff"), 0);
}

} // namespace
} // namespace korvalt
