#include "database/access/IndexPage.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace korvalt::access {

namespace {

// Bytes at the end of an entry that never take part in the shared prefix:
// the row slot, and on node pages the child page after it.
std::size_t unsharedTail(bool leaf) {
    return leaf ? 1 : 5;
}

// Bytes of the row pointer, and on node pages the child page after it.
std::size_t minimumEntry(bool leaf) {
    return leaf ? 4 : 8;
}

std::uint32_t getBigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

std::size_t maxPrefix(const JetFormat& format) {
    return format.prefixIsByte ? 0xFF : 0xFFFF;
}

// The shared prefix written for `entries`: what all of them have in common,
// never reaching into the row slot or child page. For entries in index order
// that is the common prefix of the first and the last. A page with fewer than
// two entries has nothing to share.
std::size_t sharedPrefix(const JetFormat& format, const std::vector<EntryView>& entries,
                         bool leaf) {
    if (entries.size() < 2)
        return 0;
    const EntryView first = entries.front();
    std::size_t prefix = first.size() > unsharedTail(leaf) ? first.size() - unsharedTail(leaf) : 0;
    prefix = std::min(prefix, maxPrefix(format));
    for (std::size_t i = 1; i < entries.size() && prefix > 0; ++i) {
        const EntryView entry = entries[i];
        const std::size_t room =
            entry.size() > unsharedTail(leaf) ? entry.size() - unsharedTail(leaf) : 0;
        const auto limit = static_cast<std::ptrdiff_t>(std::min(prefix, room));
        const auto mismatch = std::mismatch(first.begin(), first.begin() + limit, entry.begin());
        prefix = static_cast<std::size_t>(mismatch.first - first.begin());
    }
    return prefix;
}

} // namespace

void IndexEntries::append(std::size_t prefixOf, std::size_t prefixLength,
                          const std::uint8_t* stored, std::size_t storedLength) {
    const std::size_t at = m_bytes.size();
    m_bytes.resize(at + prefixLength + storedLength);
    if (prefixLength > 0)
        std::memcpy(m_bytes.data() + at, m_bytes.data() + begin(prefixOf), prefixLength);
    std::memcpy(m_bytes.data() + at + prefixLength, stored, storedLength);
    m_ends.push_back(m_bytes.size());
}

void IndexEntries::clear() {
    m_bytes.clear();
    m_ends.clear();
}

bool parseIndexPage(const JetFormat& format, const std::uint8_t* bytes, std::uint32_t number,
                    ExpandEntries expand, IndexPageHeader& header, IndexEntries& entries,
                    std::vector<RowId>& rows, std::string& fault) {
    header = IndexPageHeader{};
    if (bytes[0] != kPageIndexNode && bytes[0] != kPageIndexLeaf) {
        fault = "page " + std::to_string(number) + " is not an index page (type " +
                std::to_string(bytes[0]) + ")";
        return false;
    }
    const bool leaf = bytes[0] == kPageIndexLeaf;
    header.leaf = leaf;
    header.owner = get32(bytes + 4);
    header.prev = get32(bytes + format.indexPrev);
    header.next = get32(bytes + format.indexNext);
    header.tail = get32(bytes + format.indexTail);
    header.freeSpace = get16(bytes + 2);
    const std::size_t prefix =
        format.prefixIsByte ? bytes[format.indexPrefix] : get16(bytes + format.indexPrefix);

    const auto capacity = static_cast<std::size_t>(format.indexCapacity);
    const std::uint8_t* stored = bytes + format.indexEntries;
    const std::uint8_t* mask = bytes + format.indexMask;
    const std::size_t minimum = minimumEntry(leaf);
    const std::size_t first = entries.size(); // where the page's first entry goes
    std::size_t start = 0;
    std::size_t count = 0;
    std::size_t lastStart = 0;
    const auto refuse = [&](const char* why) {
        fault = "index page " + std::to_string(number) + ", entry " + std::to_string(count) + why;
        return false;
    };
    // The mask a word at a time: most of its bytes are zero.
    const auto maskBytes = static_cast<std::size_t>(format.indexMaskSize);
    for (std::size_t word = 0; word < maskBytes; word += 8) {
        const std::size_t take = std::min<std::size_t>(8, maskBytes - word);
        std::uint64_t bits64 = 0;
        for (std::size_t i = 0; i < take; ++i)
            bits64 |= static_cast<std::uint64_t>(mask[word + i]) << (8 * i);
        for (std::uint64_t bits = bits64; bits != 0; bits &= bits - 1) {
            const std::size_t k = word * 8 + static_cast<std::size_t>(std::countr_zero(bits));
            if (k > capacity)
                return refuse(" ends past the room for entries");
            if (k == start)
                return refuse(" is empty");
            const std::size_t own = k - start;
            const std::size_t shared = count == 0 ? 0 : prefix;
            if (count == 0 && prefix > own)
                return refuse(" is shorter than the page's shared prefix");
            if (shared + own < minimum)
                return refuse(" is too short to hold a row pointer");
            if (count == 0 || expand == ExpandEntries::All)
                entries.append(first, shared, stored + start, own);
            if (leaf) {
                if (own >= 4) {
                    rows.push_back(getBigEndian32(stored + k - 4));
                } else {
                    // The row pointer reaches into the shared prefix.
                    std::uint8_t pointer[4];
                    const std::uint8_t* firstEntry = entries.data(first);
                    for (std::size_t i = 0; i < 4; ++i) {
                        const std::size_t at = shared + own - 4 + i;
                        pointer[i] = at < shared ? firstEntry[at] : stored[start + at - shared];
                    }
                    rows.push_back(getBigEndian32(pointer));
                }
            }
            lastStart = start;
            start = k;
            ++count;
        }
    }
    if (expand == ExpandEntries::Ends && count >= 2)
        entries.append(first, prefix, stored + lastStart, start - lastStart);
    header.usedBytes = start;
    header.entryCount = count;
    return true;
}

bool IndexPage::parse(const JetFormat& format, const std::uint8_t* bytes, std::uint32_t number,
                      IndexPage& out, std::string& fault) {
    out = IndexPage{};
    out.number = number;
    IndexPageHeader header;
    IndexEntries entries;
    std::vector<RowId> rows;
    if (!parseIndexPage(format, bytes, number, ExpandEntries::All, header, entries, rows, fault))
        return false;
    out.leaf = header.leaf;
    out.owner = header.owner;
    out.prev = header.prev;
    out.next = header.next;
    out.tail = header.tail;
    out.freeSpace = header.freeSpace;
    out.usedBytes = header.usedBytes;
    out.entries.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        out.entries.push_back(entries.copy(i));
    return true;
}

bool writeIndexPage(const JetFormat& format, const IndexPageHeader& header,
                    const std::vector<EntryView>& entries, std::uint8_t* out) {
    const bool leaf = header.leaf;
    const std::size_t prefix = sharedPrefix(format, entries, leaf);
    std::size_t used = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        used += entries[i].size() - (i == 0 ? 0 : prefix);
    if (used > static_cast<std::size_t>(format.indexCapacity))
        return false;

    out[0] = leaf ? kPageIndexLeaf : kPageIndexNode;
    put16(out + 2,
          static_cast<std::uint32_t>(static_cast<std::size_t>(format.indexCapacity) - used));
    put32(out + 4, header.owner);
    put32(out + format.indexPrev, header.prev);
    put32(out + format.indexNext, header.next);
    put32(out + format.indexTail, header.tail);
    if (format.prefixIsByte)
        out[format.indexPrefix] = static_cast<std::uint8_t>(prefix);
    else
        put16(out + format.indexPrefix, static_cast<std::uint32_t>(prefix));

    std::uint8_t* mask = out + format.indexMask;
    std::memset(mask, 0, static_cast<std::size_t>(format.indexMaskSize));
    std::uint8_t* at = out + format.indexEntries;
    std::size_t end = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t skip = i == 0 ? 0 : prefix;
        const std::size_t length = entries[i].size() - skip;
        std::memcpy(at + end, entries[i].data() + skip, length);
        end += length;
        mask[end / 8] = static_cast<std::uint8_t>(mask[end / 8] | 1u << (end % 8));
    }
    std::memset(at + end, 0, static_cast<std::size_t>(format.pageSize - format.indexEntries) - end);
    return true;
}

bool IndexPage::write(const JetFormat& format, std::uint8_t* out) const {
    IndexPageHeader header;
    header.leaf = leaf;
    header.owner = owner;
    header.prev = prev;
    header.next = next;
    header.tail = tail;
    const std::vector<EntryView> views(entries.begin(), entries.end());
    return writeIndexPage(format, header, views, out);
}

RowId entryRow(const std::uint8_t* entry, std::size_t length, bool leaf) {
    const std::size_t from = leaf ? 4 : 8;
    return length < from ? 0 : getBigEndian32(entry + length - from);
}

RowId entryRow(const std::vector<std::uint8_t>& entry, bool leaf) {
    return entryRow(entry.data(), entry.size(), leaf);
}

std::uint32_t entryChild(const std::uint8_t* entry, std::size_t length) {
    return length < 4 ? 0 : getBigEndian32(entry + length - 4);
}

std::uint32_t entryChild(const std::vector<std::uint8_t>& entry) {
    return entryChild(entry.data(), entry.size());
}

int compareEntries(const std::uint8_t* a, std::size_t lengthA, const std::uint8_t* b,
                   std::size_t lengthB, bool leaf) {
    const std::size_t pointer = minimumEntry(leaf);
    const std::size_t keyA = lengthA > pointer ? lengthA - pointer : 0;
    const std::size_t keyB = lengthB > pointer ? lengthB - pointer : 0;
    const std::size_t common = std::min(keyA, keyB);
    // memcmp compares bytes as unsigned char.
    if (const int order = common == 0 ? 0 : std::memcmp(a, b, common); order != 0)
        return order < 0 ? -1 : 1;
    if (keyA != keyB)
        return keyA < keyB ? -1 : 1;
    const RowId rowA = entryRow(a, lengthA, leaf);
    const RowId rowB = entryRow(b, lengthB, leaf);
    return rowA < rowB ? -1 : rowA > rowB ? 1 : 0;
}

int compareEntries(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                   bool leaf) {
    return compareEntries(a.data(), a.size(), b.data(), b.size(), leaf);
}

} // namespace korvalt::access
