#include "database/EngineError.h"
#include "database/JetLike.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace korvalt {
namespace {

struct LikeCase {
    const char* text;
    const char* pattern;
    bool expected;
};

void PrintTo(const LikeCase& c, std::ostream* os) {
    *os << "'" << c.text << "' LIKE '" << c.pattern << "'";
}

class JetLikeMatch : public ::testing::TestWithParam<LikeCase> {};

TEST_P(JetLikeMatch, MatchesLikeTheFileEngine) {
    const LikeCase& c = GetParam();
    EXPECT_EQ(JetLike::matches(c.text, c.pattern), c.expected)
        << "'" << c.text << "' LIKE '" << c.pattern << "'";
}

const LikeCase kPlain[] = {
    {"abc", "abc", true}, {"ABC", "abc", true}, {"abc", "ab", false},   {"ab", "abc", false},
    {"", "", true},       {"a", "", false},     {"P-1 ", "P-1", false}, {"a%c", "a%c", true},
    {"abc", "a%", false}, {"a_c", "a_c", true}, {"abc", "a_c", false},  {"a]", "a]", true},
};
INSTANTIATE_TEST_SUITE_P(Literal, JetLikeMatch, ::testing::ValuesIn(kPlain));

const LikeCase kWildcards[] = {
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
    {"abc", "a#c", false},
    {"a12c", "a#c", false},
    {"P-1 ", "P-1*", true},
    {"p-1", "P-1*", true},
    {"P-2", "P-1*", false},
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
};
INSTANTIATE_TEST_SUITE_P(Wildcards, JetLikeMatch, ::testing::ValuesIn(kWildcards));

const LikeCase kClasses[] = {
    {"b", "[abc]", true},     {"d", "[abc]", false},      {"B", "[abc]", true},
    {"m", "[a-z]", true},     {"M", "[a-z]", true},       {"m", "[A-Z]", true},
    {"5", "[a-z]", false},    {"5", "[0-9]", true},       {"d", "[!abc]", true},
    {"a", "[!abc]", false},   {"A", "[!abc]", false},     {"", "[!abc]", false},
    {"*", "[*]", true},       {"x", "[*]", false},        {"?", "[?]", true},
    {"x", "[?]", false},      {"#", "[#]", true},         {"1", "[#]", false},
    {"[", "[[]", true},       {"-", "[a-]", true},        {"-", "[-a]", true},
    {"b", "[a-]", false},     {"!", "[!]", true},         {"ab", "a[]b", true},
    {"X[2]", "X[[]2]", true}, {"X2", "X[2]*", true},      {"X[2]", "X[2]*", false},
    {"F-1", "[FG]-1", true},  {"T-1", "[!PT]-1", false},  {"c-1", "[a-c]-1", true},
    {"Ü", "[ü]", true},       {"ä", "[à-å]", true},       {"Ä", "[à-å]", true},
    {"æ", "[à-å]", false},    {"ab", "[a-b][a-b]", true},
};
INSTANTIATE_TEST_SUITE_P(Classes, JetLikeMatch, ::testing::ValuesIn(kClasses));

const LikeCase kCaseFolding[] = {
    {"Ø50", "ø50", true},
    {"Rückschlag", "RÜCKSCHLAG", true},
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
    {"u", "ü", false},
    {"ss", "ß", false},
};
INSTANTIATE_TEST_SUITE_P(CaseFolding, JetLikeMatch, ::testing::ValuesIn(kCaseFolding));

TEST(JetLike, MalformedPatternsAreRejected) {
    for (const char* pattern : {"[abc", "a[", "[", "[!", "X[2", "[z-a]", "[9-0]"}) {
        try {
            JetLike::matches("abc", pattern);
            ADD_FAILURE() << "accepted '" << pattern << "'";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), engine_errors::kSyntaxError) << pattern;
            EXPECT_NE(e.description().find(pattern), std::string::npos) << e.description();
        }
    }
}

TEST(JetLike, ManyStarsDoNotBacktrackExponentially) {
    const std::string text(20000, 'a');
    std::string pattern;
    for (int i = 0; i < 40; ++i) {
        pattern += "*a";
    }
    EXPECT_TRUE(JetLike::matches(text, pattern));
    EXPECT_FALSE(JetLike::matches(text, pattern + "*b"));
    EXPECT_FALSE(JetLike::matches(text, pattern + "b"));
    EXPECT_FALSE(JetLike::matches(text + "b", pattern + "*a"));
}

TEST(JetLike, InvalidUtf8IsHandledByteForByte) {
    EXPECT_TRUE(JetLike::matches("a\xff", "a?"));
    EXPECT_TRUE(JetLike::matches("\xc3", "\xc3"));
    EXPECT_FALSE(JetLike::matches("\xc3", "\xc4"));
    EXPECT_TRUE(JetLike::matches("x\xe2\x82", "x*"));
}

TEST(JetLike, CompiledPatternIsReusable) {
    const JetLike pattern("P-1*");
    EXPECT_TRUE(pattern.matches("P-1"));
    EXPECT_TRUE(pattern.matches("p-10"));
    EXPECT_FALSE(pattern.matches("P-2"));
}

TEST(JetLikeCompare, OrdersByFoldedCodePoints) {
    EXPECT_EQ(JetLike::compareNoCase("abc", "ABC"), 0);
    EXPECT_EQ(JetLike::compareNoCase("Ø", "ø"), 0);
    EXPECT_EQ(JetLike::compareNoCase("RÜCKSCHLAG", "rückschlag"), 0);
    EXPECT_LT(JetLike::compareNoCase("a", "b"), 0);
    EXPECT_GT(JetLike::compareNoCase("B", "a"), 0); // case-blind, unlike byte order
    EXPECT_LT(JetLike::compareNoCase("Zebra", "ä"), 0);
    EXPECT_LT(JetLike::compareNoCase("", "a"), 0);
    EXPECT_GT(JetLike::compareNoCase("ab", "A"), 0);
    EXPECT_LT(JetLike::compareNoCase("HV-7", "HV-7 "), 0);
    EXPECT_LT(JetLike::compareNoCase("10", "9"), 0);
}

// Against the order of the folded texts' bytes (for valid UTF-8 the order
// of their code points), on texts whose ASCII runs cross eight-byte words
// and whose letters, signs next to A and Z, and non-ASCII letters that fold
// to ASCII (Kelvin sign, long s) fall at every place in them.
TEST(JetLikeCompare, AgreesWithComparingTheFoldedTexts) {
    const char* const pieces[] = {"a", "A",        "z", "Z", "@",        "[",        "`",
                                  "{", "0",        " ", "-", "\xC3\xA4", "\xC3\x84", "\xE2\x84\xAA",
                                  "k", "\xC5\xBF", "s"};
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (int round = 0; round < 20000; ++round) {
        std::vector<const char*> a;
        const auto length = next(24);
        for (std::uint32_t i = 0; i < length; ++i)
            a.push_back(pieces[next(round % 4 == 0 ? std::size(pieces) : 10)]);
        // b: a cut short, something else, then maybe a's rest: long shared prefixes.
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
        const int expected = sign(JetLike::fold(x).compare(JetLike::fold(y)));
        ASSERT_EQ(sign(JetLike::compareNoCase(x, y)), expected) << x << " | " << y;
        ASSERT_EQ(sign(JetLike::compareNoCase(y, x)), -expected) << x << " | " << y;
    }
}

TEST(JetLikeCompare, InvalidBytesCompareConsistently) {
    const int forward = JetLike::compareNoCase("\xff", "\xfe");
    const int backward = JetLike::compareNoCase("\xfe", "\xff");
    EXPECT_NE(forward, 0);
    EXPECT_EQ(forward, -backward);
    EXPECT_EQ(JetLike::compareNoCase("a\xff", "A\xff"), 0);
    EXPECT_NE(JetLike::compareNoCase("\xc3", "\xc3\xa9"), 0);
}

TEST(JetLikeFold, FoldsLettersAndKeepsTheRest) {
    EXPECT_EQ(JetLike::fold("RÜCKSCHLAG Ø50-X"), "rückschlag ø50-x");
    EXPECT_EQ(JetLike::fold("ΑΒΓ ПРИВЕТ"), "αβγ привет");
    EXPECT_EQ(JetLike::fold("a\xff"
                            "B"),
              "a\xff"
              "b");
    EXPECT_EQ(JetLike::fold(""), "");
}

} // namespace
} // namespace korvalt
