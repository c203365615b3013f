#include "database/access/PageStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace korvalt::access {

namespace {

struct Window {
    off64_t start = 0;
    std::size_t length = 0; // bytes held; 0 when empty
    std::vector<char> bytes;
    unsigned long lastUse = 0;
};

struct PageSource {
    int fd = -1;
    off64_t size = 0;
    off64_t position = 0;
    std::size_t windowSize = 0;
    std::array<Window, 2> windows;
    unsigned long uses = 0;

    ~PageSource() {
        if (fd >= 0)
            ::close(fd);
    }

    // The window holding `at`, filled from the file when neither does; null
    // on a read error.
    Window* windowAt(off64_t at) {
        for (Window& w : windows) {
            if (w.length > 0 && at >= w.start && at < w.start + static_cast<off64_t>(w.length)) {
                w.lastUse = ++uses;
                return &w;
            }
        }
        Window& w = windows[0].lastUse <= windows[1].lastUse ? windows[0] : windows[1];
        w.bytes.resize(windowSize);
        ssize_t got = 0;
        do
            got = ::pread(fd, w.bytes.data(), windowSize, at);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return nullptr;
        w.start = at;
        w.length = static_cast<std::size_t>(got);
        w.lastUse = ++uses;
        return &w;
    }
};

ssize_t readStream(void* cookie, char* out, std::size_t wanted) {
    auto* source = static_cast<PageSource*>(cookie);
    std::size_t done = 0;
    while (done < wanted) {
        Window* w = source->windowAt(source->position);
        if (w == nullptr)
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        if (w->length == 0)
            break; // end of file
        const auto offset = static_cast<std::size_t>(source->position - w->start);
        const std::size_t count = std::min(wanted - done, w->length - offset);
        std::memcpy(out + done, w->bytes.data() + offset, count);
        done += count;
        source->position += static_cast<off64_t>(count);
        if (w->length < source->windowSize && offset + count == w->length)
            break; // the file ends inside this window
    }
    return static_cast<ssize_t>(done);
}

int seekStream(void* cookie, off64_t* offset, int whence) {
    auto* source = static_cast<PageSource*>(cookie);
    off64_t base = 0;
    if (whence == SEEK_CUR)
        base = source->position;
    else if (whence == SEEK_END)
        base = source->size;
    else if (whence != SEEK_SET)
        return -1;
    if (*offset < 0 && -*offset > base)
        return -1;
    source->position = base + *offset;
    *offset = source->position;
    return 0;
}

int closeStream(void* cookie) {
    std::unique_ptr<PageSource> owned(static_cast<PageSource*>(cookie));
    return 0;
}

} // namespace

std::FILE* openPageStream(const std::string& path, std::size_t window) {
    auto source = std::make_unique<PageSource>();
    source->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (source->fd < 0 || ::fstat(source->fd, &status) != 0)
        return nullptr;
    source->size = status.st_size;
    source->windowSize = std::max<std::size_t>(window, 1);
    const cookie_io_functions_t functions{readStream, nullptr, seekStream, closeStream};
    std::FILE* stream = fopencookie(source.get(), "r", functions);
    if (stream == nullptr)
        return nullptr;
    source.release(); // closeStream owns it now
    // A page-sized buffer: an unbuffered stream of this kind is read a byte
    // at a time.
    std::setvbuf(stream, nullptr, _IOFBF, 4096);
    return stream;
}

} // namespace korvalt::access
