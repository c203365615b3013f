#include "database/access/IndexPage.h"

#include <algorithm>
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
std::size_t sharedPrefix(const JetFormat& format,
                         const std::vector<std::vector<std::uint8_t>>& entries, bool leaf) {
    if (entries.size() < 2)
        return 0;
    const auto& first = entries.front();
    std::size_t prefix = first.size() > unsharedTail(leaf) ? first.size() - unsharedTail(leaf) : 0;
    prefix = std::min(prefix, maxPrefix(format));
    for (std::size_t i = 1; i < entries.size() && prefix > 0; ++i) {
        const auto& entry = entries[i];
        const std::size_t room =
            entry.size() > unsharedTail(leaf) ? entry.size() - unsharedTail(leaf) : 0;
        const auto limit = static_cast<std::ptrdiff_t>(std::min(prefix, room));
        const auto mismatch = std::mismatch(first.begin(), first.begin() + limit, entry.begin());
        prefix = static_cast<std::size_t>(mismatch.first - first.begin());
    }
    return prefix;
}

} // namespace

bool IndexPage::parse(const JetFormat& format, const std::uint8_t* bytes, std::uint32_t number,
                      IndexPage& out, std::string& fault) {
    out = IndexPage{};
    out.number = number;
    if (bytes[0] != kPageIndexNode && bytes[0] != kPageIndexLeaf) {
        fault = "page " + std::to_string(number) + " is not an index page (type " +
                std::to_string(bytes[0]) + ")";
        return false;
    }
    out.leaf = bytes[0] == kPageIndexLeaf;
    out.owner = get32(bytes + 4);
    out.prev = get32(bytes + format.indexPrev);
    out.next = get32(bytes + format.indexNext);
    out.tail = get32(bytes + format.indexTail);
    out.freeSpace = get16(bytes + 2);
    const std::size_t prefix =
        format.prefixIsByte ? bytes[format.indexPrefix] : get16(bytes + format.indexPrefix);

    const auto capacity = static_cast<std::size_t>(format.indexCapacity);
    const std::uint8_t* entries = bytes + format.indexEntries;
    const std::uint8_t* mask = bytes + format.indexMask;
    std::size_t start = 0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(format.indexMaskSize) * 8; ++k) {
        if (!(mask[k / 8] & (1u << (k % 8))))
            continue;
        const std::string where = "index page " + std::to_string(number) + ", entry " +
                                  std::to_string(out.entries.size());
        if (k > capacity) {
            fault = where + " ends past the room for entries";
            return false;
        }
        if (k == start) {
            fault = where + " is empty";
            return false;
        }
        std::vector<std::uint8_t> entry;
        if (!out.entries.empty() && prefix > 0) {
            const auto& first = out.entries.front();
            entry.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(prefix));
        }
        entry.insert(entry.end(), entries + start, entries + k);
        if (out.entries.empty() && prefix > entry.size()) {
            fault = where + " is shorter than the page's shared prefix";
            return false;
        }
        if (entry.size() < minimumEntry(out.leaf)) {
            fault = where + " is too short to hold a row pointer";
            return false;
        }
        out.entries.push_back(std::move(entry));
        start = k;
    }
    out.usedBytes = start;
    return true;
}

bool IndexPage::write(const JetFormat& format, std::uint8_t* out) const {
    const std::size_t prefix = sharedPrefix(format, entries, leaf);
    std::size_t used = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        used += entries[i].size() - (i == 0 ? 0 : prefix);
    if (used > static_cast<std::size_t>(format.indexCapacity))
        return false;

    out[0] = leaf ? kPageIndexLeaf : kPageIndexNode;
    put16(out + 2,
          static_cast<std::uint32_t>(static_cast<std::size_t>(format.indexCapacity) - used));
    put32(out + 4, owner);
    put32(out + format.indexPrev, prev);
    put32(out + format.indexNext, next);
    put32(out + format.indexTail, tail);
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

RowId entryRow(const std::vector<std::uint8_t>& entry, bool leaf) {
    const std::size_t from = leaf ? 4 : 8;
    if (entry.size() < from)
        return 0;
    return getBigEndian32(entry.data() + entry.size() - from);
}

std::uint32_t entryChild(const std::vector<std::uint8_t>& entry) {
    if (entry.size() < 4)
        return 0;
    return getBigEndian32(entry.data() + entry.size() - 4);
}

int compareEntries(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                   bool leaf) {
    const std::size_t pointer = minimumEntry(leaf);
    const auto keyA = static_cast<std::ptrdiff_t>(a.size() > pointer ? a.size() - pointer : 0);
    const auto keyB = static_cast<std::ptrdiff_t>(b.size() > pointer ? b.size() - pointer : 0);
    // std::vector<std::uint8_t> compares its bytes unsigned.
    if (std::lexicographical_compare(a.begin(), a.begin() + keyA, b.begin(), b.begin() + keyB))
        return -1;
    if (std::lexicographical_compare(b.begin(), b.begin() + keyB, a.begin(), a.begin() + keyA))
        return 1;
    const RowId rowA = entryRow(a, leaf);
    const RowId rowB = entryRow(b, leaf);
    return rowA < rowB ? -1 : rowA > rowB ? 1 : 0;
}

} // namespace korvalt::access
