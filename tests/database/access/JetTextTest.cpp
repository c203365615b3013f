// Text and values as Access stores them, turned into what the copy holds.

#include "database/access/JetText.h"
#include "database/access/JetValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace korvalt::access {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes ucs2(std::u16string_view text, Bytes out = {}) {
    for (const char16_t unit : text) {
        out.push_back(static_cast<unsigned char>(unit & 0xFF));
        out.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kMark = {0xFF, 0xFE};

TEST(JetText, Jet4TextInBothFormsComesOutAsUtf8) {
    const struct {
        const char* what;
        Bytes bytes;
        std::string expected;
    } cases[] = {
        {"Greek, two bytes a unit", ucs2(u"Ωμέγα 50"), "Ωμέγα 50"},
        {"Cyrillic after the marker, switched to two-byte units",
         kMark + Bytes{'P', '-', 0} + ucs2(u"Ж№") + Bytes{0, '1', 0xFC}, "P-Ж№1ü"},
        {"two-byte units first, then back to single bytes",
         kMark + Bytes{0} + ucs2(u"Δ") + Bytes{0, 'x'}, "Δx"},
        {"each UTF-8 length at its edges", ucs2(u"\u007F\u0080\u07FF\u0800\uFFFF"),
         "\x7F\u0080\u07FF\u0800\uFFFF"},
        {"a surrogate pair", ucs2(u"a\U0001F600\U00010000"), "a\U0001F600\U00010000"},
        {"a high surrogate cut off by the end", ucs2(u"a") + Bytes{0x3D, 0xD8}, "a\uFFFD"},
        {"a high surrogate before a plain unit", ucs2(u"\xD83D-"), "\uFFFD-"},
        {"two high surrogates in a row", ucs2(u"\xD83D\xD83D\xDE00"), "\uFFFD\U0001F600"},
        {"a low surrogate alone", ucs2(u"\xDE00-"), "\uFFFD-"},
        {"an odd last byte", ucs2(u"ab") + Bytes{'c'}, "ab"},
        {"half a unit after the switch", kMark + Bytes{'a', 0, 0x14}, "a"},
        {"the marker alone", kMark, ""},
        {"one byte", Bytes{0xFF}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = "left over";
        decodeJet4Text(c.bytes.data(), c.bytes.size(), out);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(JetText, Jet3TextIsReadInTheFilesCodePage) {
    const IconvPtr cyrillic = openCodePage(1251);
    const IconvPtr greek = openCodePage(1253);
    const IconvPtr unknown = openCodePage(99999); // no such code page: Western
    const IconvPtr none = openCodePage(0);
    const struct {
        const char* what;
        iconv_t cd;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"Cyrillic", cyrillic.get(), "\xCF\xF0\xE8\xE2\xEE\xE4 DN50", "Привод DN50"},
        {"Greek", greek.get(), "\xD9\xEC\xDD\xE3\xE1", "Ωμέγα"},
        {"a byte the code page lacks", greek.get(), "A\xAA\xAA-", "A\uFFFD\uFFFD-"},
        {"ASCII as it is", greek.get(), "P-1 \"4\"", "P-1 \"4\""},
        {"an unknown code page", unknown.get(), "\x80\xE9", "€é"},
        {"no code page named", none.get(), "\x80", "€"},
        {"no converter: Latin-1", nullptr, "R\xFC\x80", "Rü\u0080"},
        {"empty", greek.get(), "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = "left over";
        decodeJet3Text(c.cd, reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size(),
                       out);
        EXPECT_EQ(out, c.expected);
    }
}

Bytes little(std::uint64_t value, int size) {
    Bytes bytes;
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return bytes;
}

template <typename T> Bytes bytesOf(T value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// Decimal: sign byte, then four little-endian words of magnitude, most significant first.
Bytes decimal(bool negative, std::uint32_t high, std::uint32_t low) {
    return Bytes{static_cast<unsigned char>(negative ? 0x80 : 0)} + little(0, 8) + little(high, 4) +
           little(low, 4);
}

TEST(JetValues, NumbersConvertExactly) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        double got;
        double expected;
    } cases[] = {
        {"currency 0.1", moneyValue(little(1000, 8).data()), 0.1},
        {"currency 12345.6789", moneyValue(little(123456789, 8).data()), 12345.6789},
        {"currency -0.0001", moneyValue(little(std::uint64_t(-1), 8).data()), -0.0001},
        {"currency -1.5", moneyValue(little(std::uint64_t(-15000), 8).data()), -1.5},
        {"single 0.1", singleValue(bytesOf(0.1f).data()), 0.1},
        {"single -2.5e-8", singleValue(bytesOf(-2.5e-8f).data()), -2.5e-8},
        {"single infinity", singleValue(bytesOf(static_cast<float>(inf)).data()), inf},
        {"double", doubleValue(bytesOf(-1234.5678).data()), -1234.5678},
        {"decimal 123.45", numericValue(decimal(false, 0, 12345).data(), 2), 123.45},
        {"decimal -7", numericValue(decimal(true, 0, 7).data(), 0), -7},
        {"decimal 0.00012", numericValue(decimal(false, 0, 12).data(), 5), 0.00012},
        {"decimal across words", numericValue(decimal(false, 1, 1).data(), 1), 429496729.7},
        {"decimal 0", numericValue(decimal(false, 0, 0).data(), 3), 0},
        {"decimal spelling", parseDecimal("-0.25"), -0.25},
        {"no number", parseDecimal("x1"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.expected);
        EXPECT_EQ(std::signbit(c.got), std::signbit(c.expected));
    }
    EXPECT_TRUE(std::isnan(singleValue(bytesOf(std::numeric_limits<float>::quiet_NaN()).data())));
}

// Day 0 is 1899-12-30, times of day are positive fractions, and years run 100 to 9999.
TEST(JetValues, DatesAndReplicationIds) {
    const struct {
        double value;
        const char* expected; // null: no date
    } cases[] = {
        {0, "1899-12-30 00:00:00"},
        {1.5, "1899-12-31 12:00:00"},
        {-1.25, "1899-12-29 06:00:00"},
        {36525.75, "1999-12-31 18:00:00"},
        {36525.999999999, "2000-01-01 00:00:00"},
        {45000 + 1.0 / 86400, "2023-03-15 00:00:01"},
        {-657434, "0100-01-01 00:00:00"},
        {-657434.5, nullptr},
        {2958465.5, "9999-12-31 12:00:00"},
        {2958466, nullptr},
        {std::numeric_limits<double>::quiet_NaN(), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        std::string out = "left over";
        EXPECT_EQ(formatDate(c.value, out), c.expected != nullptr);
        EXPECT_EQ(out, c.expected ? c.expected : "left over");
    }
    const Bytes id = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 0x70, 0x81,
                      0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8, 0x09};
    std::string out;
    formatGuid(id.data(), out);
    EXPECT_EQ(out, "{3D2C1B0A-5F4E-8170-92A3-B4C5D6E7F809}");
}

} // namespace
} // namespace korvalt::access
