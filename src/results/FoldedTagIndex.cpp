#include "results/FoldedTagIndex.h"

#include "database/JetLike.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

namespace korvalt {

void FoldedTagIndex::appendFolded(std::string_view text, std::string& out) {
    const std::size_t start = out.size();
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            // Letters beyond ASCII need the engine's full folding.
            out.resize(start);
            out += JetLike::fold(text);
            return;
        }
        // Within ASCII the engine folds exactly A-Z.
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
    }
}

bool FoldedTagIndex::add(std::string_view text) {
    const std::size_t offset = m_text.size();
    appendFolded(text, m_text);
    const std::size_t length = m_text.size() - offset;
    if (m_text.size() > std::numeric_limits<std::uint32_t>::max() ||
        m_entries.size() >= kNoEntry / 2) {
        return false;
    }
    // Head and hash are taken now, while the text is at hand: after sorting
    // the entries point all over the text.
    const std::string_view folded = std::string_view(m_text).substr(offset, length);
    m_entries.push_back({headOf(folded), hashOf(folded), static_cast<std::uint32_t>(offset),
                         static_cast<std::uint32_t>(length)});
    return true;
}

std::uint64_t FoldedTagIndex::headOf(std::string_view text) {
    std::uint64_t head = 0;
    const std::size_t n = std::min<std::size_t>(text.size(), 8);
    for (std::size_t i = 0; i < 8; ++i) {
        head <<= 8;
        if (i < n) {
            head |= static_cast<unsigned char>(text[i]);
        }
    }
    return head;
}

std::size_t FoldedTagIndex::hashOf(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

std::uint32_t FoldedTagIndex::checkOf(std::size_t hash, std::size_t length) {
    // The slot is chosen by the low bits of the hash; the check takes high ones.
    return static_cast<std::uint32_t>((hash >> 40) << 8) |
           static_cast<std::uint32_t>(std::min<std::size_t>(length, 255));
}

std::string_view FoldedTagIndex::textOf(const Entry& e) const {
    return std::string_view(m_text).substr(e.offset, e.length);
}

int FoldedTagIndex::compare(const Entry& e, std::uint64_t head, std::string_view text) const {
    if (e.head != head) {
        return e.head < head ? -1 : 1;
    }
    // Equal heads: the first eight bytes agree (a shorter text being a
    // prefix of the other), so the rest and then the length decide.
    const std::size_t n = std::min<std::size_t>(e.length, text.size());
    if (n > 8) {
        const int c = std::memcmp(m_text.data() + e.offset + 8, text.data() + 8, n - 8);
        if (c != 0) {
            return c;
        }
    }
    if (e.length != text.size()) {
        return e.length < text.size() ? -1 : 1;
    }
    return 0;
}

bool FoldedTagIndex::begins(const Entry& e, std::string_view prefix) const {
    return e.length >= prefix.size() &&
           std::memcmp(m_text.data() + e.offset, prefix.data(), prefix.size()) == 0;
}

bool FoldedTagIndex::sameText(const Entry& a, const Entry& b) const {
    return a.head == b.head && a.hash == b.hash && a.length == b.length &&
           (a.length <= 8 || textOf(a) == textOf(b));
}

bool FoldedTagIndex::beginsEntry(const Entry& e, const Entry& prefix) const {
    if (e.length < prefix.length) {
        return false;
    }
    // The heads settle it for a prefix of up to eight bytes.
    const std::uint32_t shown = std::min<std::uint32_t>(prefix.length, 8);
    const std::uint64_t mask = shown == 0 ? 0 : ~std::uint64_t{0} << (64 - 8 * shown);
    if ((e.head & mask) != (prefix.head & mask)) {
        return false;
    }
    return prefix.length <= 8 || begins(e, textOf(prefix));
}

void FoldedTagIndex::seal() {
    std::sort(m_entries.begin(), m_entries.end(), [this](const Entry& a, const Entry& b) {
        if (a.head != b.head) {
            return a.head < b.head;
        }
        return compare(a, b.head, textOf(b)) < 0;
    });
    // At most half full, so that a question mostly finds its tag in the
    // first slot it looks at.
    std::size_t capacity = 16;
    while (capacity < m_entries.size() * 2) {
        capacity *= 2;
    }
    m_slots.assign(capacity, Slot{{}, 0, kNoEntry});
    const std::size_t mask = capacity - 1;
    // Each run of equal tags is answered once: two or more of it, or a
    // longer tag right after the run that it begins.
    const std::size_t n = m_entries.size();
    std::size_t first = 0;
    while (first < n) {
        // The text and the slot of a tag a little further on are fetched
        // ahead: both lie anywhere in memory.
        constexpr std::size_t kAhead = 16;
        if (first + kAhead < n) {
            const Entry& later = m_entries[first + kAhead];
            __builtin_prefetch(m_text.data() + later.offset);
            __builtin_prefetch(&m_slots[later.hash & mask]);
        }
        const Entry& tag = m_entries[first];
        std::size_t end = first + 1;
        while (end < n && sameText(m_entries[end], tag)) {
            ++end;
        }
        const bool atLeastTwo = end - first >= 2 || (end < n && beginsEntry(m_entries[end], tag));
        insert(static_cast<std::uint32_t>(first), atLeastTwo);
        first = end;
    }
}

void FoldedTagIndex::insert(std::uint32_t first, bool atLeastTwo) {
    const Entry& e = m_entries[first];
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = e.hash & mask;
    while (m_slots[i].entry != kNoEntry) {
        i = (i + 1) & mask;
    }
    Slot& slot = m_slots[i];
    std::memcpy(slot.start, m_text.data() + e.offset,
                std::min<std::size_t>(e.length, sizeof slot.start));
    slot.check = checkOf(e.hash, e.length);
    slot.entry = first | (atLeastTwo ? kAnswerBit : 0);
}

bool FoldedTagIndex::beginsAtLeastTwo(std::string_view folded) const {
    if (!m_slots.empty()) {
        const std::size_t hash = hashOf(folded);
        const std::uint32_t check = checkOf(hash, folded.size());
        char start[sizeof Slot::start] = {};
        const std::size_t inSlot = std::min<std::size_t>(folded.size(), sizeof start);
        std::memcpy(start, folded.data(), inSlot);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask; m_slots[i].entry != kNoEntry; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (slot.check != check || std::memcmp(slot.start, start, sizeof start) != 0) {
                continue;
            }
            const std::uint32_t entry = slot.entry & ~kAnswerBit;
            // Only a longer tag needs its rest compared.
            if (folded.size() <= inSlot || textOf(m_entries[entry]) == folded) {
                return (slot.entry & kAnswerBit) != 0;
            }
        }
    }
    return countFromSorted(folded);
}

bool FoldedTagIndex::countFromSorted(std::string_view folded) const {
    const std::uint64_t head = headOf(folded);
    auto it = std::lower_bound(
        m_entries.begin(), m_entries.end(), folded,
        [&](const Entry& e, std::string_view text) { return compare(e, head, text) < 0; });
    // Tags that begin with the text sort right after it, together; two of
    // them are all the question needs.
    int found = 0;
    while (it != m_entries.end() && found < 2 && begins(*it, folded)) {
        ++found;
        ++it;
    }
    return found >= 2;
}

} // namespace korvalt
