#include "database/DistinctText.h"

#include "database/JetLike.h"

#include <algorithm>
#include <cstring>

namespace korvalt {

namespace {

constexpr std::uint64_t kEach = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// Eight ASCII bytes at once with their capitals made small, which is how
// the collation folds ASCII (everything else in ASCII stays as it is).
std::uint64_t lowerAscii(std::uint64_t word) {
    const std::uint64_t fromA = word + (0x80 - 'A') * kEach;
    const std::uint64_t pastZ = word + (0x80 - 'Z' - 1) * kEach;
    return word | ((fromA & ~pastZ & kHighBits) >> 2);
}

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

// Folds ASCII text into `out` eight bytes at a time and returns the hash of
// the folded text; false in `ascii` (and `out` unfinished) when a byte
// beyond ASCII turns up.
std::uint64_t foldAscii(std::string_view text, std::string& out, bool& ascii) {
    out.resize(text.size());
    std::uint64_t h = text.size();
    for (std::size_t i = 0; i < text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, std::min<std::size_t>(8, text.size() - i));
        if ((word & kHighBits) != 0) {
            ascii = false;
            return 0;
        }
        word = lowerAscii(word);
        std::memcpy(out.data() + i, &word, std::min<std::size_t>(8, text.size() - i));
        h = mix(h ^ word);
    }
    ascii = true;
    return mix(h);
}

std::uint64_t hashOf(std::string_view folded) {
    std::uint64_t h = folded.size();
    for (std::size_t i = 0; i < folded.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, folded.data() + i, std::min<std::size_t>(8, folded.size() - i));
        h = mix(h ^ word);
    }
    return mix(h);
}

// The first eight bytes of a folded text, big-endian, so that comparing two
// keys orders most texts as the collation does. From the first byte beyond
// ASCII on, the key holds 0xFF: equal keys leave the order to the full
// comparison (a shorter text has 0 where the other goes on).
std::uint64_t sortKey(std::string_view folded) {
    std::uint64_t key = 0;
    bool beyond = false;
    for (std::size_t i = 0; i < 8; ++i) {
        std::uint64_t byte = 0;
        if (i < folded.size()) {
            beyond = beyond || static_cast<unsigned char>(folded[i]) >= 0x80;
            byte = beyond ? 0xFF : static_cast<unsigned char>(folded[i]);
        } else if (beyond) {
            byte = 0xFF;
        }
        key = key << 8 | byte;
    }
    return key;
}

} // namespace

bool DistinctText::equal(std::uint32_t k, std::string_view text, bool ascii) const {
    if (ascii && m_entries[k].ascii)
        return folded(k) == m_scratch;
    return JetLike::compareNoCase(this->text(k), text) == 0;
}

void DistinctText::add(std::string_view text) {
    if (m_entries.size() * 2 >= m_slots.size())
        grow();
    bool ascii = true;
    std::uint64_t hash = foldAscii(text, m_scratch, ascii);
    if (!ascii) {
        m_scratch = JetLike::fold(text);
        hash = hashOf(m_scratch);
    }
    const std::uint64_t high = hash & 0xFFFFFFFF00000000ull;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = m_slots[slot];
        if (entry == 0) {
            const auto k = static_cast<std::uint32_t>(m_entries.size());
            m_slots[slot] = high | (k + 1u);
            char* at = store(ascii ? 2 * text.size() : text.size());
            if (!text.empty()) { // an empty text may have no bytes at all
                std::memcpy(at, text.data(), text.size());
                if (ascii)
                    std::memcpy(at + text.size(), m_scratch.data(), text.size());
            }
            m_entries.push_back({at, hash, static_cast<std::uint32_t>(text.size()), ascii});
            m_order.push_back(k);
            return;
        }
        if ((entry & 0xFFFFFFFF00000000ull) == high &&
            equal(static_cast<std::uint32_t>(entry) - 1u, text, ascii))
            return;
    }
}

char* DistinctText::store(std::size_t bytes) {
    constexpr std::size_t kBlock = 1 << 20;
    if (bytes > m_blockLeft) {
        const std::size_t size = std::max(kBlock, bytes);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_blockEnd = m_blocks.back().get() + size;
        m_blockLeft = size;
    }
    char* at = m_blockEnd - m_blockLeft;
    m_blockLeft -= bytes;
    return at;
}

void DistinctText::grow() {
    std::vector<std::uint64_t> slots(std::max<std::size_t>(64, m_slots.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t k = 0; k < m_entries.size(); ++k) {
        std::size_t slot = m_entries[k].hash & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = (m_entries[k].hash & 0xFFFFFFFF00000000ull) | (k + 1u);
    }
    m_slots = std::move(slots);
}

void DistinctText::sort() {
    struct Item {
        std::uint64_t key;
        std::uint32_t index;
    };
    std::vector<Item> items;
    items.reserve(m_entries.size());
    for (std::uint32_t k = 0; k < m_entries.size(); ++k) {
        const std::string refolded = m_entries[k].ascii ? std::string() : JetLike::fold(text(k));
        items.push_back({sortKey(m_entries[k].ascii ? folded(k) : std::string_view(refolded)), k});
    }
    std::sort(items.begin(), items.end(), [this](const Item& a, const Item& b) {
        if (a.key != b.key)
            return a.key < b.key;
        // Folded ASCII compares as bytes, exactly as the collation orders it.
        if (m_entries[a.index].ascii && m_entries[b.index].ascii)
            return folded(a.index) < folded(b.index);
        return JetLike::compareNoCase(text(a.index), text(b.index)) < 0;
    });
    for (std::size_t k = 0; k < items.size(); ++k)
        m_order[k] = items[k].index;
    m_slots = {};
}

} // namespace korvalt
