#include "database/access/IndexTree.h"

#include "database/EngineError.h"
#include "database/access/IndexTreeLoad.h"
#include "database/access/PageFile.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>

namespace korvalt::access {

namespace {

using Entry = std::vector<std::uint8_t>;

// Removes entries from a tree held in memory and works out which pages
// change, without touching the file: the pages are written only once every
// new image is known to fit.
class Remover {
public:
    Remover(PageFile& file, std::uint32_t tdefPage, const IndexTreeScan& tree,
            const std::unordered_set<RowId>& rows)
        : m_file(file), m_tdef(tdefPage), m_tree(tree), m_rows(rows) {
        for (const RowId row : rows) {
            if (rowPage(row) >= m_rowPages.size())
                m_rowPages.resize(rowPage(row) + 1, false);
            m_rowPages[rowPage(row)] = true;
        }
    }

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

    const IndexTreeScan::Page& scanned(std::uint32_t number) const {
        const IndexTreeScan::Page* page = m_tree.find(number);
        if (page == nullptr)
            m_file.damaged("index page " + std::to_string(number) +
                           " is linked to from the index tree of the table at page " +
                           std::to_string(m_tdef) + " but is not part of that tree");
        return *page;
    }

    // A node page in the form for changing it, parsed the first time it is
    // asked for. Leaves are changed as images (leafImage), which costs far
    // less for the many leaves a removal can touch.
    IndexPage& page(std::uint32_t number) {
        if (const auto it = m_pages.find(number); it != m_pages.end())
            return it->second;
        (void)scanned(number);
        IndexPage& parsed = m_pages[number];
        std::string why;
        if (!IndexPage::parse(m_file.format(), m_file.page(number), number, parsed, why))
            m_file.damaged(why); // the scan has read it already
        return parsed;
    }

    bool removed(RowId row) const {
        return rowPage(row) < m_rowPages.size() && m_rowPages[rowPage(row)] &&
               m_rows.count(row) != 0;
    }

    // Takes the entries of `rows` out of the subtree at `number` and returns
    // its new last entry (key and row pointer), or nothing once it is empty.
    std::optional<Entry> fix(std::uint32_t number) {
        if (const IndexTreeScan::Page& found = scanned(number); found.header.leaf)
            return fixLeaf(found);
        IndexPage& current = page(number);
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

    // Leaves without a removed row are left as they are, unparsed; the
    // others are written anew from their current image.
    std::optional<Entry> fixLeaf(const IndexTreeScan::Page& leaf) {
        const auto rows = m_tree.rows.begin() + static_cast<std::ptrdiff_t>(leaf.firstRow);
        const auto end = rows + static_cast<std::ptrdiff_t>(leaf.header.entryCount);
        if (std::none_of(rows, end, [this](RowId row) { return removed(row); })) {
            if (leaf.storedEntries == 0)
                return std::nullopt;
            return m_tree.entries.copy(leaf.firstEntry + leaf.storedEntries - 1);
        }
        Entry& image = leafImage(leaf.number);
        IndexPageHeader header;
        m_scratch.clear();
        m_scratchRows.clear();
        std::string why;
        if (!parseIndexPage(m_file.format(), image.data(), leaf.number, ExpandEntries::All, header,
                            m_scratch, m_scratchRows, why))
            m_file.damaged(why); // the scan read it; a link patched in cannot break it
        std::vector<EntryView> kept;
        for (std::size_t i = 0; i < m_scratch.size(); ++i)
            if (!removed(m_scratchRows[i]))
                kept.push_back(m_scratch.view(i));
        m_removed += m_scratch.size() - kept.size();
        if (!writeIndexPage(m_file.format(), header, kept, image.data()))
            overflow(leaf.number);
        m_state[leaf.number].changed = true;
        if (kept.empty())
            return std::nullopt;
        return Entry(kept.back().begin(), kept.back().end());
    }

    // The new image of a leaf, a copy of its current one the first time.
    Entry& leafImage(std::uint32_t number) {
        auto [it, added] = m_leafImages.try_emplace(number);
        if (added) {
            const std::uint8_t* old = m_file.page(number);
            it->second.assign(old, old + m_file.format().pageSize);
        }
        return it->second;
    }

    std::uint32_t link(std::uint32_t number, bool next) {
        if (scanned(number).header.leaf)
            return get32(leafImage(number).data() +
                         (next ? m_file.format().indexNext : m_file.format().indexPrev));
        return next ? page(number).next : page(number).prev;
    }

    void setLink(std::uint32_t number, bool next, std::uint32_t to) {
        if (scanned(number).header.leaf)
            put32(leafImage(number).data() +
                      (next ? m_file.format().indexNext : m_file.format().indexPrev),
                  to);
        else
            (next ? page(number).next : page(number).prev) = to;
        m_state[number].changed = true;
    }

    [[noreturn]] void overflow(std::uint32_t number) const {
        throw EngineError(engine_errors::kIndexPageFull,
                          "An index page (page " + std::to_string(number) +
                              ") of the table at page " + std::to_string(m_tdef) + " in '" +
                              m_file.path() +
                              "' has no room for the change; compact the database in "
                              "Access, then try again. Nothing was changed.");
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
        const std::uint32_t prev = link(number, false);
        const std::uint32_t next = link(number, true);
        if (prev != 0)
            setLink(prev, true, next);
        if (next != 0)
            setLink(next, false, prev);
        m_state[number].freed = true;
    }

    // The root stays where the table definition points; an index without
    // entries is an empty leaf there.
    void emptyRoot() {
        const std::uint32_t number = m_tree.root;
        if (scanned(number).header.leaf) {
            // Written without entries already.
            setLink(number, false, 0);
            setLink(number, true, 0);
            put32(leafImage(number).data() + m_file.format().indexTail, 0);
            return;
        }
        IndexPage& root = page(number);
        root.leaf = true;
        root.entries.clear();
        root.prev = 0;
        root.next = 0;
        root.tail = 0;
        m_state[number].changed = true;
    }

    std::map<std::uint32_t, Entry> buildImages() {
        const auto size = static_cast<std::size_t>(m_file.format().pageSize);
        std::map<std::uint32_t, Entry> images;
        for (const auto& [number, state] : m_state) {
            const std::uint8_t* old = m_file.page(number);
            Entry image;
            if (const auto leaf = m_leafImages.find(number); leaf != m_leafImages.end())
                image = std::move(leaf->second);
            else
                image.assign(old, old + size);
            const auto node = m_pages.find(number);
            if (state.freed) {
                // As a freed page is marked: no longer of any type.
                std::fill_n(image.begin(), 4, std::uint8_t{0});
            } else if (state.changed && node != m_pages.end() &&
                       !node->second.write(m_file.format(), image.data())) {
                overflow(number);
            }
            if (number == m_tree.root && old[0] == kPageIndexNode && node != m_pages.end() &&
                node->second.leaf) {
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
    const IndexTreeScan& m_tree;
    const std::unordered_set<RowId>& m_rows;
    std::vector<bool> m_rowPages; // data pages holding a removed row, a quick first test
    std::unordered_map<std::uint32_t, IndexPage> m_pages; // node pages parsed
    std::unordered_map<std::uint32_t, Entry> m_leafImages;
    IndexEntries m_scratch; // the entries of the leaf being rewritten
    std::vector<RowId> m_scratchRows;
    std::map<std::uint32_t, State> m_state;
    std::size_t m_removed = 0;
};

} // namespace

std::size_t removeIndexRows(PageFile& file, std::uint32_t tdefPage, std::uint32_t rootPage,
                            const std::unordered_set<RowId>& rows) {
    if (rows.empty())
        return 0;
    const IndexTreeScan tree = scanIndexTree(file, tdefPage, rootPage, ExpandEntries::Ends);
    if (!tree.faults.empty())
        file.damaged("the index tree of the table at page " + std::to_string(tdefPage) + ": " +
                     tree.faults.front());
    return Remover(file, tdefPage, tree, rows).run();
}

} // namespace korvalt::access
