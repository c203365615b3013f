#include "results/DuplicateTagFinder.h"

#include "database/Database.h"
#include "database/Recordset.h"

#include <string>

namespace korvalt {

namespace {

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF,
// which is exactly what the engine decodes as characters. On such text the
// folded bytes begin with the folded bytes of a tag exactly when the folded
// characters do.
bool isUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t need = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2;
            low = b0 == 0xE0 ? 0xA0 : 0x80;
            high = b0 == 0xED ? 0x9F : 0xBF;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3;
            low = b0 == 0xF0 ? 0x90 : 0x80;
            high = b0 == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + need >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= need; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            const unsigned char lo = k == 1 ? low : 0x80;
            const unsigned char hi = k == 1 ? high : 0xBF;
            if (b < lo || b > hi) {
                return false;
            }
        }
        i += need + 1;
    }
    return true;
}

} // namespace

DuplicateTagFinder::DuplicateTagFinder(Database& database) : m_database(database) {}

bool DuplicateTagFinder::needsEngine(std::string_view tag) {
    return tag.find_first_of(std::string_view("*?#['\0", 6)) != std::string_view::npos ||
           !isUtf8(tag);
}

std::optional<bool> DuplicateTagFinder::beginsAtLeastTwo(std::string_view tag) {
    if (needsEngine(tag)) {
        return std::nullopt;
    }
    if (!m_loaded) {
        loadTags();
    }
    if (!m_usable) {
        return std::nullopt;
    }
    m_prefix.clear();
    FoldedTagIndex::appendFolded(tag, m_prefix);
    return m_index.beginsAtLeastTwo(m_prefix);
}

void DuplicateTagFinder::loadTags() {
    m_loaded = true;
    try {
        m_usable = readTags();
    } catch (...) {
        m_usable = false;
    }
    if (m_usable) {
        m_index.seal();
    } else {
        m_index = FoldedTagIndex();
    }
}

bool DuplicateTagFinder::readTags() {
    // The engine itself, not the gateway: a failure here is not the user's
    // concern, since every tag can still be asked the slow way.
    auto records = m_database.openRecordset("SELECT Tag FROM PIPE");
    // By position where the recordset offers it: the text is then read in
    // place, without a copy per record.
    const int position = records->fieldPosition("Tag");
    for (; !records->isEof(); records->moveNext()) {
        if (position >= 0) {
            if (const std::optional<std::string_view> text = records->textAt(position)) {
                if (!m_index.add(*text)) {
                    return false;
                }
                continue;
            }
        }
        const Value& value = position >= 0 ? records->valueAt(position) : records->fields("Tag");
        if (value.isNull()) {
            continue; // LIKE never matches Null
        }
        bool added = false;
        if (value.isText()) {
            added = m_index.add(value.asText());
        } else if (value.isInteger()) {
            // The engine compares a number by its decimal text.
            added = m_index.add(std::to_string(value.asInteger()));
        }
        if (!added) {
            return false;
        }
    }
    records->close();
    return true;
}

} // namespace korvalt
