#pragma once

#include "database/access/JetFormat.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvalt::access {

// The pages of one Access file, read on demand, with the changes a writer
// makes kept beside them in memory: page() always shows the page as it will
// be written, while the file itself is never written through this class.
//
// Opening checks what every later step relies on: a Jet 3 or Jet 4 file (an
// ACE file is refused with 3343), not encoded (3031), a whole number of
// pages. Reading a page outside the file raises 3049 (damaged file).
class PageFile {
public:
    explicit PageFile(const std::string& path);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const JetFormat& format() const { return *m_format; }
    std::uint32_t pageCount() const { return m_pageCount; }
    const std::string& path() const { return m_path; }

    // The current image of a page (changed or as in the file). The pointer
    // stays valid until the page is modified for the first time.
    const std::uint8_t* page(std::uint32_t number);
    // The page's image for changing; the first call copies it from the file.
    std::uint8_t* modify(std::uint32_t number);
    // Reads the given pages ahead of page() asking for them, each run of
    // consecutive pages with one system call: a walk that knows which pages
    // it needs next (an index node's children) saves a call per page. Pages
    // held already, and numbers outside the file, are passed over.
    void preload(std::vector<std::uint32_t> numbers);
    // Reads a page into `out` (pageSize bytes) without keeping it, for long
    // scans that should not fill memory.
    void read(std::uint32_t number, std::uint8_t* out);
    // Reads `count` consecutive pages from `first` into `out` (count *
    // pageSize bytes) with one read of the file, changed pages as changed:
    // what read() would give page by page, for scans over many pages.
    void readRun(std::uint32_t first, std::uint32_t count, std::uint8_t* out);

    // The pages changed so far, by page number.
    const std::map<std::uint32_t, std::vector<std::uint8_t>>& changes() const { return m_changes; }

    // Raises the damaged-file error (3049) naming this file; `what` says
    // what was found wrong.
    [[noreturn]] void damaged(const std::string& what) const;

private:
    void readFromFile(std::uint32_t number, std::uint8_t* out);

    std::string m_path;
    int m_fd = -1;
    const JetFormat* m_format = nullptr;
    std::uint32_t m_pageCount = 0;
    std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> m_cache;
    std::map<std::uint32_t, std::vector<std::uint8_t>> m_changes;
};

// Page 0 is scrambled from byte 0x18 on with a fixed key; this unscrambles
// it in place (and, applied again, scrambles it back).
void toggleHeaderScramble(bool jet3, std::uint8_t* page0);

} // namespace korvalt::access
