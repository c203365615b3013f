#pragma once

#include <string>
#include <string_view>

namespace korvalt::access {

// Values of Access column types turned into what the SQLite copy holds.

// A decimal spelling read as the nearest double (0 when it is not a number).
double parseDecimal(std::string_view text);
// Single: the shortest decimal spelling of the float, so 0.1f arrives as
// 0.1 just as Access shows it rather than as 0.100000001490116.
double singleValue(const unsigned char* p);
double doubleValue(const unsigned char* p);
// Currency: a count of ten-thousandths, rounded once through its decimal
// spelling, so 0.1 arrives as the double nearest 0.1.
double moneyValue(const unsigned char* p);
// Decimal: a sign byte and a 128-bit magnitude, with `scale` decimal places.
double numericValue(const unsigned char* p, int scale);
// Formats an Access date (days since 1899-12-30; for earlier dates the time
// of day is still the positive fraction) as 'YYYY-MM-DD HH:MM:SS'. Returns
// false for values outside the years Access can show.
bool formatDate(double value, std::string& out);
// A replication id in the braces-and-dashes spelling Access shows.
void formatGuid(const unsigned char* p, std::string& out);

} // namespace korvalt::access
