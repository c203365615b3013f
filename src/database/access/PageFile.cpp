#include "database/access/PageFile.h"

#include "database/EngineError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace korvalt::access {

namespace {

constexpr int kVersionOffset = 0x14;
constexpr std::uint8_t kVersionJet3 = 0x00;
constexpr std::uint8_t kVersionJet4 = 0x01;
// The header past 0x18 is scrambled with RC4 under a fixed key; the key an
// encoded database's pages are scrambled with sits inside it.
constexpr int kHeaderScrambled = 0x18;
constexpr int kDbKeyOffset = 0x3E;

void rc4(const std::array<std::uint8_t, 4>& key, std::uint8_t* data, std::size_t length) {
    std::array<std::uint8_t, 256> s{};
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::uint8_t>(i);
    std::size_t j = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::size_t a = 0;
    std::size_t b = 0;
    for (std::size_t n = 0; n < length; ++n) {
        a = (a + 1) & 0xFF;
        b = (b + s[a]) & 0xFF;
        std::swap(s[a], s[b]);
        data[n] ^= s[(s[a] + s[b]) & 0xFF];
    }
}

[[noreturn]] void unrecognized(const std::string& path) {
    throw EngineError(engine_errors::kUnrecognizedFormat,
                      "Korvalt can delete records only in Access 97 and Access 2000-2003 "
                      "database files (.mdb); '" +
                          path + "' is of another kind. Nothing was changed.");
}

bool readFully(int fd, std::uint8_t* out, std::size_t length, off_t offset) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, out + done, length - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void toggleHeaderScramble(bool jet3, std::uint8_t* page0) {
    rc4({0xC7, 0xDA, 0x39, 0x6B}, page0 + kHeaderScrambled, jet3 ? 126 : 128);
}

PageFile::PageFile(const std::string& path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        if (errno == ENOENT)
            throw EngineError(engine_errors::kFileNotFound, "Could not find file '" + path + "'.");
        throw EngineError(engine_errors::kCannotOpenFile, "Korvalt cannot read the file '" + path +
                                                              "': " + std::strerror(errno) + ".");
    }
    struct stat st {};
    std::array<std::uint8_t, 0x80 + kHeaderScrambled> head{};
    if (::fstat(m_fd, &st) != 0 || !readFully(m_fd, head.data(), head.size(), 0) || head[0] != 0 ||
        std::memcmp(head.data() + 4, "Standard Jet DB", 16) != 0) {
        ::close(m_fd);
        unrecognized(path);
    }
    switch (head[kVersionOffset]) {
    case kVersionJet3:
        m_format = &JetFormat::jet3Format();
        break;
    case kVersionJet4:
        m_format = &JetFormat::jet4Format();
        break;
    default:
        ::close(m_fd);
        unrecognized(path);
    }
    const auto pageSize = static_cast<std::uint64_t>(m_format->pageSize);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size % pageSize != 0 || size / pageSize < 3 || size / pageSize > 0xFFFFFFu) {
        ::close(m_fd);
        throw EngineError(engine_errors::kCannotOpen,
                          "The file '" + path +
                              "' is not a whole Access database (its size is not a whole number "
                              "of pages); repair it in Access first. Nothing was changed.");
    }
    m_pageCount = static_cast<std::uint32_t>(size / pageSize);

    toggleHeaderScramble(m_format->jet3, head.data());
    if (get32(head.data() + kDbKeyOffset) != 0) {
        ::close(m_fd);
        throw EngineError(engine_errors::kEncoded,
                          "The database '" + path +
                              "' is encoded. Korvalt does not change encoded databases; decode "
                              "it in Access (Tools, Security, Encode/Decode Database) and try "
                              "again. Nothing was changed.");
    }
}

PageFile::~PageFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void PageFile::damaged(const std::string& what) const {
    throw EngineError(engine_errors::kCannotOpen,
                      "The database '" + m_path + "' has a structural fault (" + what +
                          "). Korvalt changes only sound files: compact and repair it in Access, "
                          "then try again. Nothing was changed.");
}

void PageFile::readFromFile(std::uint32_t number, std::uint8_t* out) {
    if (number >= m_pageCount)
        damaged("a reference to page " + std::to_string(number) + " beyond the end of the file");
    const auto size = static_cast<std::size_t>(m_format->pageSize);
    if (!readFully(m_fd, out, size, static_cast<off_t>(number) * static_cast<off_t>(size)))
        throw EngineError(engine_errors::kDiskError, "Disk or network error reading '" + m_path +
                                                         "': " + std::strerror(errno) +
                                                         ". Nothing was changed.");
}

const std::uint8_t* PageFile::page(std::uint32_t number) {
    if (const auto changed = m_changes.find(number); changed != m_changes.end())
        return changed->second.data();
    auto cached = m_cache.find(number);
    if (cached == m_cache.end()) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(m_format->pageSize));
        readFromFile(number, bytes.data());
        cached = m_cache.emplace(number, std::move(bytes)).first;
    }
    return cached->second.data();
}

std::uint8_t* PageFile::modify(std::uint32_t number) {
    if (const auto changed = m_changes.find(number); changed != m_changes.end())
        return changed->second.data();
    std::vector<std::uint8_t> bytes;
    if (auto cached = m_cache.find(number); cached != m_cache.end()) {
        bytes = std::move(cached->second);
        m_cache.erase(cached);
    } else {
        bytes.resize(static_cast<std::size_t>(m_format->pageSize));
        readFromFile(number, bytes.data());
    }
    return m_changes.emplace(number, std::move(bytes)).first->second.data();
}

void PageFile::preload(std::vector<std::uint32_t> numbers) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::erase_if(numbers, [this](std::uint32_t number) {
        return number >= m_pageCount || m_changes.count(number) != 0 || m_cache.count(number) != 0;
    });
    // Pages wanted together often lie among others (the leaves of several
    // indexes built side by side): a short gap is read along, and kept,
    // rather than split the read. A read stays within the limit on buffers
    // per call (IOV_MAX is at least 1024).
    constexpr std::uint32_t kMaxGap = 16;
    constexpr std::uint32_t kMaxRun = 1024;
    const auto size = static_cast<std::size_t>(m_format->pageSize);
    std::vector<std::vector<std::uint8_t>> run;
    std::vector<iovec> buffers;
    for (std::size_t first = 0; first < numbers.size();) {
        std::size_t end = first + 1;
        while (end < numbers.size() && numbers[end] - numbers[end - 1] <= kMaxGap &&
               numbers[end] - numbers[first] < kMaxRun)
            ++end;
        const std::uint32_t from = numbers[first];
        run.assign(numbers[end - 1] - from + 1, std::vector<std::uint8_t>(size));
        buffers.clear();
        for (auto& bytes : run)
            buffers.push_back({bytes.data(), size});
        // A short or failed read keeps nothing: page() reads those pages
        // again and reports what goes wrong.
        if (::preadv(m_fd, buffers.data(), static_cast<int>(buffers.size()),
                     static_cast<off_t>(from) * static_cast<off_t>(size)) ==
            static_cast<ssize_t>(size * run.size()))
            for (std::uint32_t i = 0; i < run.size(); ++i)
                if (m_changes.count(from + i) == 0)
                    m_cache.emplace(from + i, std::move(run[i]));
        first = end;
    }
}

void PageFile::read(std::uint32_t number, std::uint8_t* out) {
    const auto size = static_cast<std::size_t>(m_format->pageSize);
    if (const auto changed = m_changes.find(number); changed != m_changes.end()) {
        std::memcpy(out, changed->second.data(), size);
        return;
    }
    if (const auto cached = m_cache.find(number); cached != m_cache.end()) {
        std::memcpy(out, cached->second.data(), size);
        return;
    }
    readFromFile(number, out);
}

void PageFile::readRun(std::uint32_t first, std::uint32_t count, std::uint8_t* out) {
    if (count == 0)
        return;
    if (first >= m_pageCount || count > m_pageCount - first)
        damaged("a reference to page " + std::to_string(std::uint64_t{first} + count - 1) +
                " beyond the end of the file");
    const auto size = static_cast<std::size_t>(m_format->pageSize);
    if (!readFully(m_fd, out, size * count, static_cast<off_t>(first) * static_cast<off_t>(size)))
        throw EngineError(engine_errors::kDiskError, "Disk or network error reading '" + m_path +
                                                         "': " + std::strerror(errno) +
                                                         ". Nothing was changed.");
    // Cached pages are as in the file; only the changed ones differ.
    for (auto changed = m_changes.lower_bound(first);
         changed != m_changes.end() && changed->first - first < count; ++changed)
        std::memcpy(out + size * (changed->first - first), changed->second.data(), size);
}

} // namespace korvalt::access
