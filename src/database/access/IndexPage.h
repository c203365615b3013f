#pragma once

#include "database/access/JetFormat.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvalt::access {

// Entries expanded (shared prefix put back) and laid end to end in one
// buffer, so that a whole tree's entries cost two growing vectors rather
// than an allocation each.
class IndexEntries {
public:
    std::size_t size() const { return m_ends.size(); }
    const std::uint8_t* data(std::size_t i) const { return m_bytes.data() + begin(i); }
    std::size_t length(std::size_t i) const { return m_ends[i] - begin(i); }
    std::span<const std::uint8_t> view(std::size_t i) const { return {data(i), length(i)}; }
    std::vector<std::uint8_t> copy(std::size_t i) const { return {data(i), data(i) + length(i)}; }
    void clear();
    // Adds the first `prefixLength` bytes of entry `prefixOf` followed by
    // `stored` (which must not point into this buffer).
    void append(std::size_t prefixOf, std::size_t prefixLength, const std::uint8_t* stored,
                std::size_t storedLength);

private:
    std::size_t begin(std::size_t i) const { return i == 0 ? 0 : m_ends[i - 1]; }

    std::vector<std::uint8_t> m_bytes;
    std::vector<std::size_t> m_ends;
};

// The fields of an index page header, as found.
struct IndexPageHeader {
    bool leaf = true;
    std::uint32_t owner = 0; // TDEF page the index belongs to
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;
    // The free-space field and the bytes the stored (prefix-compressed)
    // entries take.
    std::uint32_t freeSpace = 0;
    std::size_t usedBytes = 0;
    std::size_t entryCount = 0;
};

// How much of a page parseIndexPage expands into IndexEntries.
enum class ExpandEntries {
    All,
    // The first and the last entry only (one if the page has one): enough to
    // know where the page ends in index order, while the rows of the others
    // are still read, without expanding them.
    Ends,
};

// Reads an index page image: its header into `header`, its entries (as
// `expand` says) appended to `entries`, and on leaf pages the row of every
// entry appended to `rows`. Returns false and says why in `fault` when the
// page is not an index page or its bitmask, prefix or entries do not fit
// the page; what was appended by then is left.
bool parseIndexPage(const JetFormat& format, const std::uint8_t* bytes, std::uint32_t number,
                    ExpandEntries expand, IndexPageHeader& header, IndexEntries& entries,
                    std::vector<RowId>& rows, std::string& fault);

using EntryView = std::span<const std::uint8_t>;

// Writes an index page into `out`, which holds its old image: the type and
// the links from `header` (its other fields are worked out), the entries
// with their shared prefix taken out; the header bytes not modelled here
// are kept. Returns false, leaving `out` untouched, when the entries do
// not fit the page.
bool writeIndexPage(const JetFormat& format, const IndexPageHeader& header,
                    const std::vector<EntryView>& entries, std::uint8_t* out);

// One index page, its entries expanded: every entry whole (the shared
// prefix put back), as the bytes
//   leaf:  key ‖ data page (3 bytes, big-endian) ‖ row slot (1 byte)
//   node:  key ‖ data page ‖ row slot ‖ child page (4 bytes, big-endian)
// A node entry is a copy of its child's last entry plus the child's page;
// the tail child (node pages only) has no stored entry. The form a page
// takes for changing it.
struct IndexPage {
    std::uint32_t number = 0;
    bool leaf = true;
    std::uint32_t owner = 0; // TDEF page the index belongs to
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;
    std::vector<std::vector<std::uint8_t>> entries;
    // As parse found them: the free-space field and the bytes the stored
    // (prefix-compressed) entries take. write() computes its own.
    std::uint32_t freeSpace = 0;
    std::size_t usedBytes = 0;

    // Parses a page image, refusing what parseIndexPage refuses.
    static bool parse(const JetFormat& format, const std::uint8_t* bytes, std::uint32_t number,
                      IndexPage& out, std::string& fault);

    // As writeIndexPage.
    bool write(const JetFormat& format, std::uint8_t* out) const;
};

// The row an entry points at (leaf or node entry alike).
RowId entryRow(const std::uint8_t* entry, std::size_t length, bool leaf);
RowId entryRow(const std::vector<std::uint8_t>& entry, bool leaf);
// The child page of a node entry.
std::uint32_t entryChild(const std::uint8_t* entry, std::size_t length);
std::uint32_t entryChild(const std::vector<std::uint8_t>& entry);
// Index order of two entries of the same kind: key bytes compared unsigned,
// a key that is a prefix of the other first, equal keys by row pointer.
// Negative, zero or positive as for a three-way comparison.
int compareEntries(const std::uint8_t* a, std::size_t lengthA, const std::uint8_t* b,
                   std::size_t lengthB, bool leaf);
int compareEntries(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                   bool leaf);

} // namespace korvalt::access
