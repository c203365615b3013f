#include "database/odbc/ServerSqlParts.h"

#include "database/JetLike.h"
#include "database/TextFold.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace korvalt::server_sql {

namespace {

struct Range {
    char32_t low;
    char32_t high;
};

struct Element {
    enum class Kind { Star, AnyOne, Digit, Literal, Class };
    Kind kind;
    std::string bytes; // Literal: the character as written
    char32_t cp = 0;   // Literal: its code point
    bool negated = false;
    std::vector<Range> ranges; // Class: as written
};

// The pattern read the way JetLike reads it (JetLike has already refused a
// malformed one).
std::vector<Element> parse(std::string_view pattern) {
    std::vector<Element> out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const Decoded d = decodeUtf8(pattern, i);
        const std::size_t at = i;
        i += d.length;
        if (d.cp == '*') {
            if (out.empty() || out.back().kind != Element::Kind::Star) {
                out.push_back({Element::Kind::Star, {}, 0, false, {}});
            }
        } else if (d.cp == '?') {
            out.push_back({Element::Kind::AnyOne, {}, 0, false, {}});
        } else if (d.cp == '#') {
            out.push_back({Element::Kind::Digit, {}, 0, false, {}});
        } else if (d.cp == '[') {
            Element e{Element::Kind::Class, {}, 0, false, {}};
            bool first = true;
            while (i < pattern.size()) {
                const Decoded m = decodeUtf8(pattern, i);
                i += m.length;
                if (m.cp == ']') {
                    break;
                }
                if (first && m.cp == '!' && i < pattern.size() && pattern[i] != ']') {
                    e.negated = true;
                    first = false;
                    continue;
                }
                first = false;
                Range r{m.cp, m.cp};
                if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
                    const Decoded high = decodeUtf8(pattern, i + 1);
                    r.high = high.cp;
                    i += 1 + high.length;
                }
                e.ranges.push_back(r);
            }
            if (!e.ranges.empty() || e.negated) {
                out.push_back(std::move(e));
            }
        } else {
            out.push_back({Element::Kind::Literal,
                           std::string(pattern.substr(at, d.length)),
                           d.cp,
                           false,
                           {}});
        }
    }
    return out;
}

// The characters of case-folded text that a class matches: those in its
// ranges and in the ranges of its folded ends (the file engine matches a
// character when it, or its folded form, is in a range, or the folded form
// lies between the folded ends). Sorted, merged, within Unicode. A range
// from a capital to a small letter ([Z-a]) holds the capital Z but not z,
// which folded text cannot tell apart: there z matches as well.
std::vector<Range> foldedClass(const std::vector<Range>& written) {
    constexpr char32_t kLastCodePoint = 0x10FFFF;
    std::vector<Range> all;
    for (const Range& r : written) {
        all.push_back(r);
        const char32_t low = foldCodePoint(r.low);
        const char32_t high = foldCodePoint(r.high);
        if (low <= high) {
            all.push_back({low, high});
        }
    }
    std::sort(all.begin(), all.end(), [](const Range& a, const Range& b) { return a.low < b.low; });
    std::vector<Range> merged;
    for (Range r : all) {
        if (r.low > kLastCodePoint) {
            break;
        }
        r.high = std::min(r.high, kLastCodePoint);
        if (!merged.empty() && r.low <= merged.back().high + 1) {
            merged.back().high = std::max(merged.back().high, r.high);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

std::string hex(char32_t c) {
    constexpr const char* kDigits = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[c & 0xFu]);
        c >>= 4;
    } while (c != 0);
    return out;
}

bool isOneOf(const std::string& bytes, std::string_view set) {
    return bytes.size() == 1 && set.find(bytes[0]) != std::string_view::npos;
}

std::string utf8(char32_t c) {
    std::string out;
    encodeUtf8(c, out);
    return out;
}

// PostgreSQL. Letters are left to the server's folding (the same lower()
// that folds the tested text); class members are written as \x escapes,
// which that folding leaves alone, since their folding is worked out here.
LikeTest postgres(const std::vector<Element>& elements, bool negated) {
    const bool needsRegex = std::any_of(elements.begin(), elements.end(), [](const Element& e) {
        return e.kind == Element::Kind::Digit || e.kind == Element::Kind::Class;
    });
    std::string text;
    if (!needsRegex) {
        for (const Element& e : elements) {
            if (e.kind == Element::Kind::Star) {
                text += '%';
            } else if (e.kind == Element::Kind::AnyOne) {
                text += '_';
            } else {
                text += isOneOf(e.bytes, "%_\\") ? "\\" + e.bytes : e.bytes;
            }
        }
    } else {
        text = "^";
        for (const Element& e : elements) {
            switch (e.kind) {
            case Element::Kind::Star:
                text += ".*";
                break;
            case Element::Kind::AnyOne:
                text += '.';
                break;
            case Element::Kind::Digit:
                text += "[0-9]";
                break;
            case Element::Kind::Literal:
                text += isOneOf(e.bytes, "\\^$.|?*+()[]{}") ? "\\" + e.bytes : e.bytes;
                break;
            case Element::Kind::Class: {
                const std::vector<Range> members = foldedClass(e.ranges);
                if (members.empty()) {
                    text += '.'; // [!] with nothing excluded
                    break;
                }
                text += e.negated ? "[^" : "[";
                for (const Range& r : members) {
                    text += "\\x" + hex(r.low);
                    if (r.high != r.low) {
                        text += "-\\x" + hex(r.high);
                    }
                }
                text += ']';
                break;
            }
            }
        }
        text += '$';
    }
    const Wrap fold = foldWrap(ServerDialect::PostgreSql, true);
    LikeTest test;
    test.op = needsRegex ? (negated ? "!~" : "~") : (negated ? "NOT LIKE" : "LIKE");
    test.pattern = fold.open + textLiteral(text, ServerDialect::PostgreSql) + fold.close;
    return test;
}

// SQL Server's LIKE has classes and ranges of its own; the pattern is folded
// here, and the escape character keeps % _ [ ] ^ - \ of the user's text as
// themselves.
LikeTest sqlServer(const std::vector<Element>& elements, bool negated) {
    std::string text;
    const auto member = [](char32_t c) {
        const std::string s = utf8(c);
        return isOneOf(s, "%_[]^-\\") ? "\\" + s : s;
    };
    for (const Element& e : elements) {
        switch (e.kind) {
        case Element::Kind::Star:
            text += '%';
            break;
        case Element::Kind::AnyOne:
            text += '_';
            break;
        case Element::Kind::Digit:
            text += "[0-9]";
            break;
        case Element::Kind::Literal:
            text += e.cp >= kInvalidBase ? e.bytes : member(foldCodePoint(e.cp));
            break;
        case Element::Kind::Class: {
            const std::vector<Range> members = foldedClass(e.ranges);
            if (members.empty()) {
                text += '_';
                break;
            }
            text += e.negated ? "[^" : "[";
            for (const Range& r : members) {
                text += member(r.low);
                if (r.high != r.low) {
                    text += "-" + member(r.high);
                }
            }
            text += ']';
            break;
        }
        }
    }
    LikeTest test;
    test.op = negated ? "NOT LIKE" : "LIKE";
    // The tested text ends in the character 1 (see foldWrap).
    test.pattern = textLiteral(text, ServerDialect::SqlServer) + " + NCHAR(1) ESCAPE N'\\'";
    return test;
}

} // namespace

LikeTest likeTest(std::string_view jetPattern, bool negated, ServerDialect dialect) {
    const JetLike check(jetPattern); // raises the file engine's error when malformed
    const std::vector<Element> elements = parse(jetPattern);
    return dialect == ServerDialect::SqlServer ? sqlServer(elements, negated)
                                               : postgres(elements, negated);
}

} // namespace korvalt::server_sql
