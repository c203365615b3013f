#pragma once

#include "results/FoldedTagIndex.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvalt {

class Database;

// Answers the question of the duplicate-tag check, "does this tag begin the
// tags of at least two records of the Pipe table?", without a query per tag.
//
// The check's own query, Tag LIKE '<tag>*', matches the tags whose case-folded
// text begins with the case-folded tag. All tags of the table are read once,
// on the first question, folded the way the engine's LIKE folds them and
// indexed (FoldedTagIndex.h); every tag is then answered from the index.
//
// Tags the sorted table cannot answer exactly are left to the engine: those
// holding LIKE wildcards (* ? # [), an apostrophe (which changes the
// statement itself), a NUL character or bytes that are not UTF-8. The same
// holds for every tag when the table's tags cannot be read or are not all
// text.
class DuplicateTagFinder {
public:
    explicit DuplicateTagFinder(Database& database);

    // True or false when the sorted table answers it; nothing when the caller
    // must ask the engine.
    std::optional<bool> beginsAtLeastTwo(std::string_view tag);

    // Whether a tag must go to the engine whatever the table holds.
    static bool needsEngine(std::string_view tag);

private:
    void loadTags();
    bool readTags();

    Database& m_database;
    bool m_loaded = false;
    bool m_usable = false;
    FoldedTagIndex m_index;
    std::string m_prefix; // the folded tag asked, kept to reuse its storage
};

} // namespace korvalt
