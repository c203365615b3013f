#include "PipeCsvReader.h"

#include <stdexcept>

namespace korvalt {

namespace {

[[noreturn]] void fail(std::size_t line, const std::string& what) {
    throw std::runtime_error("line " + std::to_string(line) + ": " + what);
}

bool atLineEnd(std::string_view text, std::size_t pos) {
    return pos >= text.size() || text[pos] == '\n' ||
           (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n');
}

} // namespace

std::vector<PipeCsvReader::Row> PipeCsvReader::parse(std::string_view text) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.substr(0, kBom.size()) == kBom)
        text.remove_prefix(kBom.size());

    std::vector<Row> rows;
    std::size_t pos = 0;
    std::size_t line = 1;
    while (pos < text.size()) {
        if (atLineEnd(text, pos)) { // empty line
            pos += text[pos] == '\r' ? 2 : 1;
            ++line;
            continue;
        }
        Row row;
        row.line = line;
        for (;;) {
            Field field;
            if (pos < text.size() && text[pos] == '"') {
                field.quoted = true;
                const std::size_t opened = line;
                ++pos;
                for (;;) {
                    if (pos >= text.size())
                        fail(opened, "quoted field not closed");
                    const char c = text[pos++];
                    if (c == '"') {
                        if (pos < text.size() && text[pos] == '"') {
                            field.text += '"';
                            ++pos;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n')
                        ++line;
                    field.text += c;
                }
                if (!atLineEnd(text, pos) && text[pos] != ',')
                    fail(line, "text after a closing quote");
            } else {
                while (!atLineEnd(text, pos) && text[pos] != ',') {
                    if (text[pos] == '"')
                        fail(line, "quote inside an unquoted field");
                    field.text += text[pos++];
                }
            }
            row.fields.push_back(std::move(field));
            if (pos < text.size() && text[pos] == ',') {
                ++pos;
                continue;
            }
            break;
        }
        if (pos < text.size()) { // at a line end
            pos += text[pos] == '\r' ? 2 : 1;
            ++line;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace korvalt
