#include "database/access/IndexTree.h"

#include "database/EngineError.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace korvalt::access {

namespace {

using Entry = std::vector<std::uint8_t>;

// Removes entries from a tree held in memory and works out which pages
// change, without touching the file: the pages are written only once every
// new image is known to fit.
class Remover {
public:
    Remover(PageFile& file, std::uint32_t tdefPage, LoadedIndexTree& tree,
            const std::unordered_set<RowId>& rows)
        : m_file(file), m_tdef(tdefPage), m_tree(tree), m_rows(rows) {}

    std::size_t run() {
        if (!fix(m_tree.root))
            emptyRoot();
        store(buildImages());
        return m_removed;
    }

private:
    struct State {
        bool changed = false;
        bool freed = false;
    };

    IndexPage& page(std::uint32_t number) {
        const auto it = m_tree.pages.find(number);
        if (it == m_tree.pages.end())
            m_file.damaged("index page " + std::to_string(number) +
                           " is linked to from the index tree of the table at page " +
                           std::to_string(m_tdef) + " but is not part of that tree");
        return it->second.page;
    }

    // Takes the entries of `rows` out of the subtree at `number` and returns
    // its new last entry (key and row pointer), or nothing once it is empty.
    std::optional<Entry> fix(std::uint32_t number) {
        IndexPage& current = page(number);
        if (current.leaf)
            return fixLeaf(number, current);
        if (current.entries.empty() && current.tail == 0)
            m_file.damaged("index page " + std::to_string(number) + " of the table at page " +
                           std::to_string(m_tdef) + " is a node page without children");

        std::vector<Entry> entries;
        std::map<std::uint32_t, Entry> lastOf;
        for (const Entry& entry : current.entries) {
            const std::uint32_t child = entryChild(entry);
            std::optional<Entry> last = fix(child);
            if (!last) {
                drop(child);
                continue;
            }
            Entry replaced = *last;
            replaced.insert(replaced.end(), entry.end() - 4, entry.end());
            lastOf[child] = std::move(*last);
            entries.push_back(std::move(replaced));
        }
        std::uint32_t tail = current.tail;
        if (tail != 0) {
            if (std::optional<Entry> last = fix(tail))
                lastOf[tail] = std::move(*last);
            else {
                drop(tail);
                tail = 0;
            }
        }
        if (entries == current.entries && tail == current.tail)
            return lastEntry(current, lastOf);

        // The shape Access keeps: a lone child is an ordinary entry, and a
        // page with several children has its last one as the tail.
        if (entries.empty() && tail != 0) {
            Entry promoted = lastOf[tail];
            appendChild(promoted, tail);
            entries.push_back(std::move(promoted));
            tail = 0;
        } else if (entries.size() >= 2 && tail == 0) {
            tail = entryChild(entries.back());
            entries.pop_back();
        }
        current.entries = std::move(entries);
        current.tail = tail;
        m_state[number].changed = true;
        return lastEntry(current, lastOf);
    }

    std::optional<Entry> fixLeaf(std::uint32_t number, IndexPage& leaf) {
        const auto before = leaf.entries.size();
        std::erase_if(leaf.entries, [this](const Entry& entry) {
            return m_rows.count(entryRow(entry, true)) != 0;
        });
        if (leaf.entries.size() != before) {
            m_removed += before - leaf.entries.size();
            m_state[number].changed = true;
        }
        if (leaf.entries.empty())
            return std::nullopt;
        return leaf.entries.back();
    }

    static std::optional<Entry> lastEntry(const IndexPage& node,
                                          const std::map<std::uint32_t, Entry>& lastOf) {
        const std::vector<std::uint32_t> children = childPages(node);
        if (children.empty())
            return std::nullopt;
        const auto it = lastOf.find(children.back());
        return it == lastOf.end() ? std::nullopt : std::optional<Entry>(it->second);
    }

    static void appendChild(Entry& entry, std::uint32_t child) {
        for (int shift = 24; shift >= 0; shift -= 8)
            entry.push_back(static_cast<std::uint8_t>(child >> shift));
    }

    // Takes an emptied page out of its level: its neighbours are linked to
    // each other, as they are at this moment, so that a run of emptied pages
    // side by side ends up with the pages around the run joined.
    void drop(std::uint32_t number) {
        const IndexPage& gone = page(number);
        const std::uint32_t prev = gone.prev;
        const std::uint32_t next = gone.next;
        if (prev != 0) {
            page(prev).next = next;
            m_state[prev].changed = true;
        }
        if (next != 0) {
            page(next).prev = prev;
            m_state[next].changed = true;
        }
        m_state[number].freed = true;
    }

    // The root stays where the table definition points; an index without
    // entries is an empty leaf there.
    void emptyRoot() {
        IndexPage& root = page(m_tree.root);
        root.leaf = true;
        root.entries.clear();
        root.prev = 0;
        root.next = 0;
        root.tail = 0;
        m_state[m_tree.root].changed = true;
    }

    std::map<std::uint32_t, Entry> buildImages() {
        const auto size = static_cast<std::size_t>(m_file.format().pageSize);
        std::map<std::uint32_t, Entry> images;
        for (const auto& [number, state] : m_state) {
            const std::uint8_t* old = m_file.page(number);
            Entry image(old, old + size);
            if (state.freed) {
                // As a freed page is marked: no longer of any type.
                std::fill_n(image.begin(), 4, std::uint8_t{0});
            } else if (state.changed && !page(number).write(m_file.format(), image.data())) {
                throw EngineError(engine_errors::kIndexPageFull,
                                  "An index page (page " + std::to_string(number) +
                                      ") of the table at page " + std::to_string(m_tdef) + " in '" +
                                      m_file.path() +
                                      "' has no room for the change; compact the database in "
                                      "Access, then try again. Nothing was changed.");
            }
            if (number == m_tree.root && old[0] == kPageIndexNode && page(number).leaf) {
                // The byte after the prefix length is 1 on Access's node pages
                // and 0 on its leaves, empty ones included.
                const JetFormat& format = m_file.format();
                image[static_cast<std::size_t>(format.indexPrefix +
                                               (format.prefixIsByte ? 1 : 2))] = 0;
            }
            if (!std::equal(image.begin(), image.end(), old))
                images.emplace(number, std::move(image));
        }
        return images;
    }

    void store(const std::map<std::uint32_t, Entry>& images) {
        for (const auto& [number, image] : images)
            std::memcpy(m_file.modify(number), image.data(), image.size());
    }

    PageFile& m_file;
    std::uint32_t m_tdef;
    LoadedIndexTree& m_tree;
    const std::unordered_set<RowId>& m_rows;
    std::map<std::uint32_t, State> m_state;
    std::size_t m_removed = 0;
};

} // namespace

std::size_t removeIndexRows(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage,
                            const std::unordered_set<RowId>& rows) {
    if (rows.empty())
        return 0;
    LoadedIndexTree tree = loadIndexTree(file, tdefPage, rootPage);
    if (!tree.faults.empty())
        file.damaged("the index tree of the table at page " + std::to_string(tdefPage) + ": " +
                     tree.faults.front());
    return Remover(file, tdefPage, tree, rows).run();
}

} // namespace korvalt::access
