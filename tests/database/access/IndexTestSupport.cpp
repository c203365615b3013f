#include "IndexTestSupport.h"

#include "database/EngineError.h"
#include "database/access/PageFile.h"

#include <set>

namespace korvalt::access {

std::vector<IndexUnderTest> indexesOf(PageFile& file) {
    const auto size = static_cast<std::size_t>(file.format().pageSize);
    std::vector<std::uint8_t> bytes(size);
    std::set<std::uint32_t> tdefs;
    std::set<std::uint32_t> continued;
    for (std::uint32_t page = 1; page < file.pageCount(); ++page) {
        file.read(page, bytes.data());
        if (bytes[0] != kPageTableDef)
            continue;
        tdefs.insert(page);
        if (const std::uint32_t next = get32(bytes.data() + 4); next != 0)
            continued.insert(next);
    }
    std::vector<IndexUnderTest> found;
    for (const std::uint32_t tdef : tdefs) {
        if (continued.count(tdef) != 0)
            continue;
        TableDef table;
        try {
            table = readTableDef(file, tdef);
        } catch (const EngineError&) {
            continue;
        }
        for (const RealIndex& index : table.realIndexes) {
            if (index.rootPage == 0 || index.rootPage >= file.pageCount())
                continue;
            const std::uint8_t* root = file.page(index.rootPage);
            if ((root[0] == kPageIndexNode || root[0] == kPageIndexLeaf) && get32(root + 4) == tdef)
                found.push_back({tdef, index});
        }
    }
    return found;
}

std::vector<std::uint8_t> makeEntry(const std::vector<std::uint8_t>& key, std::uint32_t page,
                                    std::uint8_t row) {
    std::vector<std::uint8_t> entry = key;
    for (int shift = 16; shift >= 0; shift -= 8)
        entry.push_back(static_cast<std::uint8_t>(page >> shift));
    entry.push_back(row);
    return entry;
}

std::vector<std::uint8_t> makeNodeEntry(std::vector<std::uint8_t> entry, std::uint32_t child) {
    for (int shift = 24; shift >= 0; shift -= 8)
        entry.push_back(static_cast<std::uint8_t>(child >> shift));
    return entry;
}

} // namespace korvalt::access
