#pragma once

#include <sql.h>

#include <string>
#include <string_view>
#include <vector>

namespace korvalt::odbc {

// Text crosses the ODBC interface as UTF-16 (the "wide" calls), whatever the
// locale of the process, so that every letter reaches the server and comes
// back unchanged; the rest of the program holds UTF-8.
using WideString = std::basic_string<SQLWCHAR>;

WideString toWide(std::string_view utf8);
// `length` in characters of SQLWCHAR. Unpaired surrogates become U+FFFD.
std::string fromWide(const SQLWCHAR* text, std::size_t length);
// Appends to `out` instead of making a new string.
void appendFromWide(const SQLWCHAR* text, std::size_t length, std::string& out);

// The values of the password attributes (PWD=, PASSWORD=) of a connection
// string, braced values unbraced; empty values left out.
std::vector<std::string> passwordsIn(std::string_view connection);

// `message` with every one of `passwords` replaced, for a driver that repeats
// the connection string in its complaint.
std::string withoutPasswords(std::string message, const std::vector<std::string>& passwords);

} // namespace korvalt::odbc
