#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt {

// The case-folded tags of a table, answering "do at least two of them begin
// with this folded text?" for every record of a large result.
//
// The tags are kept in one block of text and sorted byte-wise, so that the
// tags a text begins lie together right after it. Since the texts asked are
// nearly always tags of the same table, every distinct tag also gets its
// answer worked out once, in a hash table, and such a question costs a hash
// and a probe instead of a binary search over a million tags.
class FoldedTagIndex {
public:
    // Appends `text` case-folded the way the engine's LIKE folds it.
    static void appendFolded(std::string_view text, std::string& out);

    // Adds one tag, folding it. False when the index cannot hold it (beyond
    // 2^31 tags or 4 GiB of text); the index is then of no use.
    bool add(std::string_view text);
    // Sorts and prepares the answers; call once after the last add().
    void seal();

    // Whether at least two tags begin with `folded` (already folded text).
    bool beginsAtLeastTwo(std::string_view folded) const;

    std::size_t size() const { return m_entries.size(); }

private:
    struct Entry {
        std::uint64_t head; // the first 8 bytes, big-endian, padded with zeros
        std::size_t hash;
        std::uint32_t offset;
        std::uint32_t length;
    };
    // One distinct tag in the hash table, with its answer. The first 16
    // bytes are kept in the slot itself, so that for the usual short tag a
    // question touches one place in memory rather than three.
    struct Slot {
        char start[16];      // padded with zeros
        std::uint32_t check; // 24 bits of the hash, then the length up to 255
        std::uint32_t entry; // its first sorted entry; the top bit is the answer
    };
    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
    static constexpr std::uint32_t kAnswerBit = 0x80000000u;

    static std::uint64_t headOf(std::string_view text);
    static std::size_t hashOf(std::string_view text);
    static std::uint32_t checkOf(std::size_t hash, std::size_t length);
    std::string_view textOf(const Entry& e) const;
    // Byte-wise order of an entry against a text with its head.
    int compare(const Entry& e, std::uint64_t head, std::string_view text) const;
    bool begins(const Entry& e, std::string_view prefix) const;
    bool sameText(const Entry& a, const Entry& b) const;
    bool beginsEntry(const Entry& e, const Entry& prefix) const;
    void insert(std::uint32_t first, bool atLeastTwo);
    bool countFromSorted(std::string_view folded) const;

    std::string m_text;
    std::vector<Entry> m_entries;
    std::vector<Slot> m_slots; // open addressing, size a power of two
};

} // namespace korvalt
