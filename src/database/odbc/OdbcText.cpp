#include "database/odbc/OdbcText.h"

#include "database/Database.h"
#include "database/TextFold.h"

#include <algorithm>
#include <cctype>

namespace korvalt {

namespace {

constexpr std::string_view kHidden = "***";

bool startsNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
    });
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool isPasswordKey(std::string_view key) {
    key = trimmed(key);
    return key.size() == 3 ? startsNoCase(key, "PWD")
                           : key.size() == 8 && startsNoCase(key, "PASSWORD");
}

// One attribute of a connection string: KEY=value or KEY={value with ; and }}}.
struct Attribute {
    std::string_view key;
    std::size_t valueBegin = 0; // offsets into the whole string
    std::size_t valueEnd = 0;
    bool braced = false;
};

// Splits the string the way drivers do: keys end at '=', a value at ';'
// unless it opens with '{', in which case it runs to the '}' that is not
// doubled. A part without '=' is kept as a key without value.
std::vector<Attribute> attributes(std::string_view s) {
    std::vector<Attribute> out;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t equals = s.find_first_of("=;", i);
        if (equals == std::string_view::npos || s[equals] == ';') {
            i = equals == std::string_view::npos ? s.size() : equals + 1;
            continue;
        }
        Attribute a;
        a.key = s.substr(i, equals - i);
        std::size_t v = equals + 1;
        while (v < s.size() && s[v] == ' ')
            ++v;
        if (v < s.size() && s[v] == '{') {
            a.braced = true;
            a.valueBegin = v + 1;
            std::size_t j = v + 1;
            while (j < s.size()) {
                if (s[j] == '}') {
                    if (j + 1 < s.size() && s[j + 1] == '}') {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            a.valueEnd = j;
            i = j < s.size() ? j + 1 : j;
            const std::size_t semicolon = s.find(';', i);
            i = semicolon == std::string_view::npos ? s.size() : semicolon + 1;
        } else {
            a.valueBegin = equals + 1;
            const std::size_t semicolon = s.find(';', a.valueBegin);
            a.valueEnd = semicolon == std::string_view::npos ? s.size() : semicolon;
            i = a.valueEnd + 1;
        }
        out.push_back(a);
    }
    return out;
}

} // namespace

bool IsConnectionString(std::string_view address) {
    return startsNoCase(address, "DSN=") || startsNoCase(address, "DRIVER=");
}

std::string HidePassword(std::string_view address) {
    if (!IsConnectionString(address))
        return std::string(address);
    std::string out;
    std::size_t copied = 0;
    for (const Attribute& a : attributes(address)) {
        if (!isPasswordKey(a.key))
            continue;
        out.append(address.substr(copied, a.valueBegin - copied));
        out.append(kHidden);
        copied = a.valueEnd;
    }
    out.append(address.substr(std::min(copied, address.size())));
    return out;
}

namespace odbc {

WideString toWide(std::string_view utf8) {
    WideString out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const Decoded d = decodeUtf8(utf8, i);
        i += d.length;
        char32_t cp = d.cp;
        // Bytes that are no UTF-8 (surrogates included) decode above Unicode.
        if (cp >= kInvalidBase)
            cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<SQLWCHAR>(cp));
        }
    }
    return out;
}

void appendFromWide(const SQLWCHAR* text, std::size_t length, std::string& out) {
    for (std::size_t i = 0; i < length; ++i) {
        const char32_t unit = text[i];
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
            continue;
        }
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((unit - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            cp = 0xFFFD;
        }
        encodeUtf8(cp, out);
    }
}

std::string fromWide(const SQLWCHAR* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    appendFromWide(text, length, out);
    return out;
}

std::vector<std::string> passwordsIn(std::string_view connection) {
    std::vector<std::string> out;
    for (const Attribute& a : attributes(connection)) {
        if (!isPasswordKey(a.key) || a.valueEnd <= a.valueBegin)
            continue;
        std::string value(connection.substr(a.valueBegin, a.valueEnd - a.valueBegin));
        if (a.braced) {
            for (std::size_t p = value.find("}}"); p != std::string::npos;
                 p = value.find("}}", p + 1))
                value.erase(p, 1);
        }
        out.push_back(std::move(value));
    }
    return out;
}

std::string withoutPasswords(std::string message, const std::vector<std::string>& passwords) {
    for (const std::string& password : passwords) {
        for (std::size_t p = message.find(password); p != std::string::npos;
             p = message.find(password, p + kHidden.size()))
            message.replace(p, password.size(), kHidden);
    }
    return message;
}

} // namespace odbc

} // namespace korvalt
