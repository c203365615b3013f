#include "startup/IniFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvalt {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\v\f";

#ifdef _WIN32
constexpr std::string_view kPlatformLineEnd = "\r\n";
#else
constexpr std::string_view kPlatformLineEnd = "\n";
#endif

// One line of the file: its text and the line end that followed it ("" for
// a last line without one). Text plus line end gives back the exact bytes.
struct Line {
    std::string text;
    std::string end;
};

// The file cut into lines; a leading UTF-8 byte-order mark is kept aside.
struct Document {
    std::string bom;
    std::vector<Line> lines;
};

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

Document split(std::string_view content) {
    Document doc;
    if (content.substr(0, kBom.size()) == kBom) {
        doc.bom = kBom;
        content.remove_prefix(kBom.size());
    }
    while (!content.empty()) {
        const auto nl = content.find('\n');
        if (nl == std::string_view::npos) {
            doc.lines.push_back({std::string(content), {}});
            break;
        }
        const bool crlf = nl > 0 && content[nl - 1] == '\r';
        const auto textLength = crlf ? nl - 1 : nl;
        doc.lines.push_back({std::string(content.substr(0, textLength)), crlf ? "\r\n" : "\n"});
        content.remove_prefix(nl + 1);
    }
    return doc;
}

// Name of the section a header line opens, or nothing for other lines. The
// name runs from '[' to the last ']' on the line; anything after is ignored.
std::optional<std::string_view> sectionName(std::string_view text) {
    const auto t = trim(text);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    const auto close = t.rfind(']');
    if (close == std::string_view::npos || close == 0)
        return std::nullopt;
    return trim(t.substr(1, close - 1));
}

// Position of the '=' of an entry line, or nothing for comments, headers and
// lines without '='.
std::optional<std::size_t> entryEquals(std::string_view text) {
    const auto t = trim(text);
    if (t.empty() || t.front() == ';' || sectionName(text))
        return std::nullopt;
    const auto eq = text.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return eq;
}

// Index of the header line of the first section named `section`.
std::optional<std::size_t> findSection(const Document& doc, std::string_view section) {
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const auto name = sectionName(doc.lines[i].text);
        if (name && equalsIgnoringAsciiCase(*name, section))
            return i;
    }
    return std::nullopt;
}

// One past the last line of the section whose header is at `header`.
std::size_t sectionEnd(const Document& doc, std::size_t header) {
    std::size_t i = header + 1;
    while (i < doc.lines.size() && !sectionName(doc.lines[i].text))
        ++i;
    return i;
}

// Index of the first entry line for `key` in the section whose header is at
// `header`.
std::optional<std::size_t> findKey(const Document& doc, std::size_t header, std::string_view key) {
    const auto end = sectionEnd(doc, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const std::string_view text = doc.lines[i].text;
        const auto eq = entryEquals(text);
        if (eq && equalsIgnoringAsciiCase(trim(text.substr(0, *eq)), key))
            return i;
    }
    return std::nullopt;
}

// Length in bytes of the UTF-8 sequence starting at s[i]; a byte that does
// not start a well-formed sequence counts as one character by itself.
std::size_t characterLength(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t length = 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    if (i + length > s.size())
        return 1;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

// The first `size` - 1 characters of `s`, as a buffer of `size` characters
// holds them.
std::string fitBuffer(std::string_view s, std::size_t size) {
    if (size == 0)
        return {};
    std::size_t bytes = 0;
    for (std::size_t count = 0; count + 1 < size && bytes < s.size(); ++count)
        bytes += characterLength(s, bytes);
    return std::string(s.substr(0, bytes));
}

std::optional<std::string> readFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return content;
}

bool storableOnOneLine(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Writes `content` to a new file beside `target` and renames it over
// `target`. On any failure the temporary file is removed and `target` stays
// as it was.
bool replaceFile(const fs::path& target, const std::string& content) {
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> digit(0, 35);
    constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";

    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string suffix = ".tmp";
        for (int k = 0; k < 6; ++k)
            suffix += kDigits[static_cast<std::size_t>(digit(random))];
        fs::path temp = target;
        temp += suffix;

        // "x": never reuse a file that happens to exist under that name.
        std::FILE* out = std::fopen(temp.string().c_str(), "wbx");
        if (out == nullptr) {
            std::error_code ec;
            if (fs::exists(temp, ec))
                continue;
            return false;
        }
        bool ok = std::fwrite(content.data(), 1, content.size(), out) == content.size();
        ok = std::fclose(out) == 0 && ok;

        std::error_code ec;
        if (ok) {
            const auto status = fs::status(target, ec);
            if (!ec && fs::is_regular_file(status))
                fs::permissions(temp, status.permissions(), ec);
            ec.clear();
            fs::rename(temp, target, ec);
            ok = !ec;
        }
        if (!ok)
            fs::remove(temp, ec);
        return ok;
    }
    return false;
}

} // namespace

std::string IniFile::getString(const std::string& section, const std::string& key,
                               const std::string& defaultValue, std::size_t size,
                               const std::string& file) {
    const std::string_view wantedSection = trim(section);
    const std::string_view wantedKey = trim(key);

    if (const auto content = readFile(file);
        content && !wantedSection.empty() && !wantedKey.empty()) {
        const Document doc = split(*content);
        if (const auto header = findSection(doc, wantedSection)) {
            if (const auto line = findKey(doc, *header, wantedKey)) {
                const std::string_view text = doc.lines[*line].text;
                std::string_view value = trim(text.substr(*entryEquals(text) + 1));
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front())
                    value = value.substr(1, value.size() - 2);
                return fitBuffer(value, size);
            }
        }
    }

    // The classic function drops trailing blanks of the default.
    std::string_view fallback = defaultValue;
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);
    return fitBuffer(fallback, size);
}

bool IniFile::writeString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) {
    const std::string_view sectionText = trim(section);
    const std::string_view keyText = trim(key);
    // Refuse what would read back as something else: names that vanish, a key
    // that holds '=' or looks like a comment or header, line breaks anywhere.
    if (sectionText.empty() || keyText.empty() || keyText.find('=') != std::string_view::npos ||
        keyText.front() == ';' || keyText.front() == '[' || !storableOnOneLine(section) ||
        !storableOnOneLine(key) || !storableOnOneLine(value))
        return false;

    fs::path path(file);
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        // Replace the file the link points to, not the link.
        auto target = fs::canonical(path, ec);
        if (ec)
            return false;
        path = target;
    }

    Document doc;
    if (fs::exists(path, ec)) {
        const auto content = readFile(path);
        if (!content)
            return false;
        doc = split(*content);
    } else if (ec) {
        return false;
    }

    std::string lineEnd(kPlatformLineEnd);
    for (const auto& line : doc.lines) {
        if (!line.end.empty()) {
            lineEnd = line.end;
            break;
        }
    }
    const std::string entry = std::string(keyText) + "=" + value;

    if (const auto header = findSection(doc, sectionText)) {
        if (const auto found = findKey(doc, *header, keyText)) {
            // Keep the key as spelled in the file, with whatever stood around it.
            Line& line = doc.lines[*found];
            line.text = line.text.substr(0, *entryEquals(line.text) + 1) + value;
        } else {
            // After the section's last non-blank line, so that blank lines
            // before the next section stay where they are.
            std::size_t at = sectionEnd(doc, *header);
            while (at > *header + 1 && trim(doc.lines[at - 1].text).empty())
                --at;
            if (doc.lines[at - 1].end.empty())
                doc.lines[at - 1].end = lineEnd;
            doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at),
                             Line{entry, lineEnd});
        }
    } else {
        if (!doc.lines.empty() && doc.lines.back().end.empty())
            doc.lines.back().end = lineEnd;
        doc.lines.push_back({"[" + std::string(sectionText) + "]", lineEnd});
        doc.lines.push_back({entry, lineEnd});
    }

    std::string content = doc.bom;
    for (const auto& line : doc.lines)
        content += line.text + line.end;
    return replaceFile(path, content);
}

} // namespace korvalt
