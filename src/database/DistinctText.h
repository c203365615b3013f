#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt {

// The distinct texts of a column under the case-insensitive text order
// (JetLike::compareNoCase): of texts that differ only in letter case, the
// first one added is kept, as the engine's DISTINCT keeps the first row it
// meets. Then put in that order for handing out.
//
// Built for a million texts: they are kept end to end in one buffer, plain
// ASCII (most of them) together with its folded form, so that telling
// texts apart and ordering them is a byte comparison.
class DistinctText {
public:
    // Keeps the text unless an equal one (ignoring case) was added before.
    void add(std::string_view text);
    std::size_t size() const { return m_entries.size(); }
    // Puts the texts kept in ascending case-insensitive order; nothing may
    // be added afterwards.
    void sort();
    // The text at a position of the order (sorted, or as added).
    std::string_view inOrder(std::size_t position) const { return text(m_order[position]); }

private:
    struct Entry {
        const char* at; // the text; its folded form follows when `ascii`
        std::uint64_t hash;
        std::uint32_t length;
        bool ascii;
    };

    std::string_view text(std::uint32_t k) const { return {m_entries[k].at, m_entries[k].length}; }
    // The folded form of an ASCII text; "" for any other.
    std::string_view folded(std::uint32_t k) const {
        const Entry& e = m_entries[k];
        return e.ascii ? std::string_view(e.at + e.length, e.length) : std::string_view();
    }
    bool equal(std::uint32_t k, std::string_view text, bool ascii) const;
    char* store(std::size_t bytes);
    void grow();

    // The bytes of the texts, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockLeft = 0;
    char* m_blockEnd = nullptr;
    std::vector<Entry> m_entries;
    // Open addressing over m_entries: the hash's high half, then index + 1;
    // 0 for a free slot.
    std::vector<std::uint64_t> m_slots;
    std::vector<std::uint32_t> m_order;
    std::string m_scratch; // the folded form of the text being added
};

} // namespace korvalt
