#include "database/access/JetValues.h"

#include "database/access/JetFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace korvalt::access {

namespace {

// Days from 1899-12-30 (day 0 of an Access date) to 1970-01-01.
constexpr long long kDaysToUnixEpoch = 25569;

std::uint64_t le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(get32(p)) | static_cast<std::uint64_t>(get32(p + 4)) << 32;
}

} // namespace

double parseDecimal(std::string_view text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

double singleValue(const unsigned char* p) {
    const float single = std::bit_cast<float>(get32(p));
    if (!std::isfinite(single))
        return static_cast<double>(single);
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), single).ptr;
    return parseDecimal({text.data(), static_cast<std::size_t>(end - text.data())});
}

double doubleValue(const unsigned char* p) {
    return std::bit_cast<double>(le64(p));
}

double moneyValue(const unsigned char* p) {
    // Currency is a count of ten-thousandths; going through its decimal
    // spelling rounds once, so 0.1 arrives as the double nearest 0.1.
    const auto raw = static_cast<std::int64_t>(le64(p));
    const std::uint64_t magnitude =
        raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    std::array<char, 32> text{};
    char* end = text.data();
    if (raw < 0)
        *end++ = '-';
    end = std::to_chars(end, text.data() + text.size(), magnitude / 10000).ptr;
    *end++ = '.';
    const std::uint64_t fraction = magnitude % 10000;
    for (std::uint64_t unit = 1000; unit > 0; unit /= 10)
        *end++ = static_cast<char>('0' + (fraction / unit) % 10);
    return parseDecimal({text.data(), static_cast<std::size_t>(end - text.data())});
}

double numericValue(const unsigned char* p, int scale) {
    // Sign byte, then a 128-bit magnitude as four little-endian words, most
    // significant word first.
    __extension__ typedef unsigned __int128 Uint128;
    Uint128 magnitude = 0;
    for (int word = 0; word < 4; ++word)
        magnitude = magnitude << 32 | get32(p + 1 + 4 * word);
    std::array<char, 48> digits{};
    int count = 0;
    do {
        digits[static_cast<std::size_t>(count++)] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string text;
    if (p[0] & 0x80)
        text += '-';
    const int width = std::max(count, scale + 1);
    for (int i = width - 1; i >= 0; --i) {
        text += i < count ? digits[static_cast<std::size_t>(i)] : '0';
        if (i == scale && scale > 0)
            text += '.';
    }
    return parseDecimal(text);
}

// Formats an Access date (days since 1899-12-30; for earlier dates the time
// of day is still the positive fraction) as 'YYYY-MM-DD HH:MM:SS'. Returns
// false for values outside the years Access can show.
bool formatDate(double value, std::string& out) {
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0)
        return false;
    const double whole = std::trunc(value);
    long long day = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(value - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    using namespace std::chrono;
    const year_month_day date{sys_days{days{day - kDaysToUnixEpoch}}};
    std::array<char, 32> text{};
    const int n = std::snprintf(text.data(), text.size(), "%04d-%02u-%02u %02lld:%02lld:%02lld",
                                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                                static_cast<unsigned>(date.day()), seconds / 3600,
                                seconds / 60 % 60, seconds % 60);
    out.assign(text.data(), static_cast<std::size_t>(std::max(n, 0)));
    return true;
}

void formatGuid(const unsigned char* p, std::string& out) {
    std::array<char, 40> text{};
    const int n = std::snprintf(
        text.data(), text.size(),
        "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", p[3], p[2], p[1],
        p[0], p[5], p[4], p[7], p[6], p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    out.assign(text.data(), static_cast<std::size_t>(std::max(n, 0)));
}

} // namespace korvalt::access
