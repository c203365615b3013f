#include "database/access/TableDef.h"

#include "database/access/PageFile.h"

#include <string>

namespace korvalt::access {

namespace {

constexpr int kMaxColumns = 255;
constexpr std::uint32_t kMaxIndexes = 64;
constexpr int kIndexKeyColumns = 10;
constexpr std::uint32_t kNoColumn = 0xFFFF;
constexpr std::uint8_t kMapInline = 0;
constexpr std::uint8_t kMapPaged = 1;

// The definition as one byte stream, read across its chain of pages.
class TdefStream {
public:
    TdefStream(PageFile& file, std::uint32_t first) : m_file(file) {
        const JetFormat& f = file.format();
        const auto size = static_cast<std::size_t>(f.pageSize);
        std::uint32_t page = first;
        std::uint32_t hops = 0;
        while (page != 0) {
            if (++hops > file.pageCount())
                file.damaged("the definition of the table at page " + std::to_string(first) +
                             " loops");
            const std::uint8_t* bytes = file.page(page);
            if (bytes[0] != kPageTableDef)
                file.damaged("page " + std::to_string(page) + " is not a table definition page");
            const std::size_t from = m_bytes.empty() ? 0 : 8;
            m_bytes.insert(m_bytes.end(), bytes + from, bytes + size);
            page = get32(bytes + 4);
        }
    }
    const std::uint8_t* at(std::size_t offset, std::size_t length) const {
        if (offset + length > m_bytes.size() || offset + length < offset)
            m_file.damaged("a table definition shorter than its counts");
        return m_bytes.data() + offset;
    }

private:
    PageFile& m_file;
    std::vector<std::uint8_t> m_bytes;
};

std::string readName(const TdefStream& s, const JetFormat& f, std::size_t& pos) {
    std::size_t length = 0;
    if (f.nameLengthIsByte) {
        length = *s.at(pos, 1);
        pos += 1;
    } else {
        length = get16(s.at(pos, 2));
        pos += 2;
    }
    const std::uint8_t* bytes = s.at(pos, length);
    pos += length;
    std::string name;
    if (f.jet3) {
        name.assign(reinterpret_cast<const char*>(bytes), length);
    } else {
        // UCS-2; names Korvalt looks for are ASCII, anything else reads as '?'.
        for (std::size_t i = 0; i + 1 < length; i += 2)
            name += bytes[i + 1] == 0 && bytes[i] < 0x80 ? static_cast<char>(bytes[i]) : '?';
    }
    return name;
}

} // namespace

TableDef readTableDef(PageFile& file, std::uint32_t tdefPage) {
    const JetFormat& f = file.format();
    const TdefStream s(file, tdefPage);
    TableDef table;
    table.page = tdefPage;
    table.numRows = get32(s.at(static_cast<std::size_t>(f.tdefNumRows), 4));
    table.numVarCols =
        static_cast<std::uint16_t>(get16(s.at(static_cast<std::size_t>(f.tdefNumVarCols), 2)));
    const std::uint32_t numCols = get16(s.at(static_cast<std::size_t>(f.tdefNumCols), 2));
    const std::uint32_t numIndexes = get32(s.at(static_cast<std::size_t>(f.tdefNumIndexes), 4));
    const std::uint32_t numReal = get32(s.at(static_cast<std::size_t>(f.tdefNumReal), 4));
    table.ownedMap = get32(s.at(static_cast<std::size_t>(f.tdefOwnedMap), 4));
    if (numCols == 0 || numCols > kMaxColumns || numIndexes > kMaxIndexes || numReal > kMaxIndexes)
        file.damaged("the table definition at page " + std::to_string(tdefPage) +
                     " has impossible counts");

    std::size_t pos = static_cast<std::size_t>(f.tdefBlocks) +
                      numReal * static_cast<std::size_t>(f.realCountSize);
    for (std::uint32_t i = 0; i < numCols; ++i) {
        const std::uint8_t* b = s.at(pos, static_cast<std::size_t>(f.columnSize));
        ColumnDef column;
        column.type = b[0];
        column.number = b[f.columnNumber];
        column.fixed = (b[f.columnFlags] & 0x01) != 0;
        table.columns.push_back(column);
        pos += static_cast<std::size_t>(f.columnSize);
    }
    for (ColumnDef& column : table.columns)
        column.name = readName(s, f, pos);

    for (std::uint32_t i = 0; i < numReal; ++i) {
        const std::uint8_t* b = s.at(pos, static_cast<std::size_t>(f.realIndexSize));
        const std::uint8_t* keys = b + f.realIndexLead;
        RealIndex index;
        index.number = static_cast<int>(i);
        for (int k = 0; k < kIndexKeyColumns; ++k) {
            const std::uint32_t column = get16(keys + 3 * k);
            if (column != kNoColumn)
                index.columns.push_back(static_cast<std::uint16_t>(column));
        }
        index.usedPagesMap = get32(keys + 3 * kIndexKeyColumns);
        index.rootPage = get32(keys + 3 * kIndexKeyColumns + 4);
        index.flags = b[f.realIndexFlags];
        table.realIndexes.push_back(index);
        pos += static_cast<std::size_t>(f.realIndexSize);
    }
    for (std::uint32_t i = 0; i < numIndexes; ++i) {
        const std::uint8_t* b = s.at(pos, static_cast<std::size_t>(f.logicalIndexSize));
        const std::uint8_t* d = b + f.logicalIndexLead;
        LogicalIndex index;
        index.number = static_cast<int>(get32(d));
        index.realIndex = static_cast<int>(get32(d + 4));
        index.relatedTablePage = get32(d + 13);
        index.cascadeUpdates = d[17];
        index.cascadeDeletes = d[18];
        index.type = b[f.logicalIndexType];
        table.logicalIndexes.push_back(index);
        pos += static_cast<std::size_t>(f.logicalIndexSize);
    }
    return table;
}

RowBounds rowBounds(const JetFormat& f, const std::uint8_t* page, std::uint32_t slot,
                    const PageFile& file) {
    const std::uint32_t slots = get16(page + f.dataRowCount);
    const auto firstFree = static_cast<std::uint32_t>(f.dataFirstSlot) + 2 * slots;
    const auto pageSize = static_cast<std::uint32_t>(f.pageSize);
    if (slot >= slots || firstFree > pageSize)
        file.damaged("a row slot beyond its page's slot table");
    const std::uint32_t raw = get16(page + f.dataFirstSlot + 2 * slot);
    const std::uint32_t start = raw & kSlotOffsetMask;
    const std::uint32_t end =
        slot == 0 ? pageSize : get16(page + f.dataFirstSlot + 2 * (slot - 1)) & kSlotOffsetMask;
    if (start < firstFree || end > pageSize || end < start)
        file.damaged("a row whose bytes lie outside its page");
    RowBounds bounds;
    bounds.start = static_cast<int>(start);
    bounds.length = static_cast<int>(end - start);
    bounds.flags = static_cast<std::uint16_t>(raw & ~static_cast<std::uint32_t>(kSlotOffsetMask));
    return bounds;
}

std::vector<std::uint32_t> usageMapPages(PageFile& file, std::uint32_t mapRow) {
    const JetFormat& f = file.format();
    const std::uint8_t* page = file.page(rowPage(mapRow));
    if (page[0] != kPageData)
        file.damaged("a usage map on page " + std::to_string(rowPage(mapRow)) +
                     ", which is not a data page");
    const RowBounds row = rowBounds(f, page, rowSlot(mapRow), file);
    // The map's row stays valid while other pages are read: copy it.
    const std::vector<std::uint8_t> map(page + row.start, page + row.start + row.length);
    std::vector<std::uint32_t> pages;
    const auto addBits = [&](const std::uint8_t* bits, std::size_t bytes, std::uint32_t first) {
        for (std::size_t i = 0; i < bytes * 8; ++i) {
            if ((bits[i / 8] & (1u << (i % 8))) == 0)
                continue;
            const std::uint64_t number = std::uint64_t{first} + i;
            if (number >= file.pageCount())
                file.damaged("a usage map naming a page beyond the end of the file");
            pages.push_back(static_cast<std::uint32_t>(number));
        }
    };
    if (map.empty())
        file.damaged("an empty usage map");
    if (map[0] == kMapInline) {
        if (map.size() < 5)
            file.damaged("a usage map too short for its header");
        addBits(map.data() + 5, map.size() - 5, get32(map.data() + 1));
    } else if (map[0] == kMapPaged) {
        const auto perPage = static_cast<std::uint32_t>(f.pageSize - 4) * 8;
        for (std::size_t i = 0; 1 + 4 * i + 4 <= map.size(); ++i) {
            const std::uint32_t mapPage = get32(map.data() + 1 + 4 * i);
            if (mapPage == 0)
                continue;
            const std::vector<std::uint8_t> bits(file.page(mapPage) + 4,
                                                 file.page(mapPage) + f.pageSize);
            addBits(bits.data(), bits.size(), static_cast<std::uint32_t>(i) * perPage);
        }
    } else {
        file.damaged("a usage map of unknown type " + std::to_string(map[0]));
    }
    return pages;
}

} // namespace korvalt::access
