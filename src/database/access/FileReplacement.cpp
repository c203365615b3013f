#include "database/access/FileReplacement.h"

#include "database/EngineError.h"
#include "database/access/FileGuards.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace korvalt::access {

namespace {
namespace errors = engine_errors;

// Closes a descriptor on every way out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Copies `size` bytes from the start of one file to the other; 0 or errno.
// ENODATA when the source ended early.
int copyContent(int from, int to, std::uint64_t size) {
    std::uint64_t done = 0;
    bool inKernel = true;
    std::vector<char> buffer;
    while (done < size) {
        const std::uint64_t left = size - done;
        if (inKernel) {
            loff_t in = static_cast<loff_t>(done);
            loff_t out = static_cast<loff_t>(done);
            const ssize_t n = ::copy_file_range(
                from, &in, to, &out,
                static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 30)), 0);
            if (n > 0) {
                done += static_cast<std::uint64_t>(n);
                continue;
            }
            if (n == 0)
                return ENODATA;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                errno != EPERM)
                return errno;
            inKernel = false;
            buffer.resize(1 << 20);
        }
        const ssize_t n = ::pread(from, buffer.data(), std::min<std::uint64_t>(left, buffer.size()),
                                  static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENODATA;
        for (ssize_t written = 0; written < n;) {
            const ssize_t w =
                ::pwrite(to, buffer.data() + written, static_cast<std::size_t>(n - written),
                         static_cast<off_t>(done) + written);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return w < 0 ? errno : EIO;
            written += w;
        }
        done += static_cast<std::uint64_t>(n);
    }
    return 0;
}

// Creates the copy's file, empty, and locks it. The lock is what keeps a
// second Korvalt away; a copy nobody holds is one a killed run left behind,
// and is removed. Re-checked after locking that the locked file is still
// the one at the name, since a finishing run renames or removes it.
int takeTempFile(const std::string& temp, const std::string& path) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                throw busyError(path);
            }
            if (sameFile(fd, temp))
                return fd;
            ::close(fd);
            continue;
        }
        const int error = errno;
        if (error == EACCES || error == EPERM || error == EROFS)
            throw folderReadOnly(folderOf(path));
        if (error != EEXIST)
            throw diskError("Could not create the copy '" + temp + "'", error);

        const Descriptor old(::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (old.get() < 0 && errno == ENOENT)
            continue;
        if (old.get() < 0)
            throw diskError("Could not open '" + temp + "', left behind by an earlier run", errno);
        if (::flock(old.get(), LOCK_EX | LOCK_NB) != 0)
            throw busyError(path);
        if (sameFile(old.get(), temp))
            ::unlink(temp.c_str());
    }
    throw busyError(path);
}

// Sets the disk writing the file out without waiting for it.
void beginWriteback(int fd) {
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void syncFolder(const std::string& folder) {
    const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

// Makes `backup` the file now at `path`, replacing an older one in one step:
// a hard link under a passing name renamed over it, or a durable full copy
// where the file system has no hard links.
void keepBackup(const std::string& path, const std::string& backup) {
    const std::string passing = folderOf(path) + "/." + nameOf(backup) + ".korvalt-new";
    ::unlink(passing.c_str()); // left by a killed run; the delete lock is ours
    if (::link(path.c_str(), passing.c_str()) != 0) {
        const int error = errno;
        if (error != EPERM && error != EOPNOTSUPP && error != EXDEV && error != EMLINK &&
            error != ENOSYS)
            throw diskError("Could not keep the old file as '" + backup + "'", error);
        const Descriptor from(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (from.get() < 0 || ::fstat(from.get(), &st) != 0)
            throw diskError("Could not read '" + path + "' to keep it", errno);
        const Descriptor to(
            ::open(passing.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
        int failure = to.get() < 0 ? errno : 0;
        if (!failure)
            failure = copyContent(from.get(), to.get(), static_cast<std::uint64_t>(st.st_size));
        if (!failure && ::fsync(to.get()) != 0)
            failure = errno;
        if (failure) {
            ::unlink(passing.c_str());
            throw diskError("Could not keep the old file as '" + backup + "'", failure);
        }
    }
    if (::rename(passing.c_str(), backup.c_str()) != 0) {
        const int error = errno;
        ::unlink(passing.c_str());
        throw diskError("Could not keep the old file as '" + backup + "'", error);
    }
    // When the backup already was this very file, rename() left both names.
    ::unlink(passing.c_str());
}
} // namespace

std::string FileReplacement::tempPathFor(const std::string& path) {
    return folderOf(path) + "/." + nameOf(path) + ".korvalt-new";
}

std::string FileReplacement::backupPathFor(const std::string& path) {
    return path + ".bak";
}

FileReplacement::FileReplacement(std::string path, const FileStamp& openedAs)
    : m_openedAs(openedAs) {
    // The file a link points at is replaced; the link stays a link.
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr),
                                                      &std::free);
    if (!real)
        stampOf(path); // names the missing file, or the reason it cannot be seen
    m_path = real ? std::string(real.get()) : path;

    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0)
        stampOf(m_path);
    refuseWhenOpenInAccess(m_path);
    refuseWhenReadOnly(m_path, st);
    if (stampFrom(st) != m_openedAs)
        throw changedError(m_path);

    m_tempPath = tempPathFor(m_path);
    m_tempFd = takeTempFile(m_tempPath, m_path);

    // The copy is made in the background, so that the caller can work out
    // its changes from the original meanwhile; whatever touches the copy
    // waits for it first.
    try {
        m_copying = std::async(std::launch::async, [this] { copyOriginal(); });
    } catch (const std::system_error&) {
        try {
            copyOriginal(); // no thread to be had: copy here and now
        } catch (...) {
            discard(); // a constructor that throws has no destructor run
            throw;
        }
    }
}

void FileReplacement::waitForCopy() {
    if (!m_copying.valid())
        return;
    try {
        m_copying.get();
    } catch (...) {
        discard();
        throw;
    }
}

void FileReplacement::copyOriginal() {
    const Descriptor from(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat opened {};
    if (from.get() < 0 || ::fstat(from.get(), &opened) != 0)
        throw diskError("Could not read '" + m_path + "'", errno);
    // What is copied must be what the caller read, not a file put there since.
    if (stampFrom(opened) != m_openedAs)
        throw changedError(m_path);
    int failure = copyContent(from.get(), m_tempFd, static_cast<std::uint64_t>(opened.st_size));
    if (failure == ENODATA)
        throw changedError(m_path);
    // The owner where allowed (an administrator's run); the group and the
    // permission bits as the original's, so the same people can use it.
    if (!failure && ::fchown(m_tempFd, opened.st_uid, opened.st_gid) != 0 &&
        ::fchown(m_tempFd, static_cast<uid_t>(-1), opened.st_gid) != 0) {
        // Not allowed for this user: the copy stays in the user's own group.
    }
    if (!failure && ::fchmod(m_tempFd, opened.st_mode & 07777) != 0)
        failure = errno;
    if (failure)
        throw diskError("Could not copy '" + m_path + "' to '" + m_tempPath + "'", failure);
    beginWriteback(m_tempFd);
}

FileReplacement::~FileReplacement() {
    if (!m_committed)
        discard();
}

void FileReplacement::discard() noexcept {
    // The copy's own failure, if any, was or will be reported by waitForCopy.
    if (m_copying.valid())
        m_copying.wait();
    if (m_tempFd < 0)
        return;
    // Removed while still locked, so no other run can be using it.
    ::unlink(m_tempPath.c_str());
    ::close(m_tempFd);
    m_tempFd = -1;
}

void FileReplacement::writePage(std::uint32_t page, const std::uint8_t* bytes,
                                std::size_t pageSize) {
    waitForCopy();
    if (m_tempFd < 0)
        throw EngineError(errors::kInvalidOperation, "The copy of '" + m_path + "' is closed.");
    const std::uint64_t offset = static_cast<std::uint64_t>(page) * pageSize;
    for (std::size_t done = 0; done < pageSize;) {
        const ssize_t n =
            ::pwrite(m_tempFd, bytes + done, pageSize - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            discard();
            throw diskError("Could not write page " + std::to_string(page) + " of the copy '" +
                                m_tempPath + "'",
                            error);
        }
        done += static_cast<std::size_t>(n);
    }
}

void FileReplacement::flush() {
    waitForCopy();
    if (m_tempFd < 0)
        throw EngineError(errors::kInvalidOperation, "The copy of '" + m_path + "' is closed.");
    if (::fsync(m_tempFd) != 0) {
        const int error = errno;
        discard();
        throw diskError("Could not save the copy '" + m_tempPath + "'", error);
    }
}

FileStamp FileReplacement::commit() {
    flush();
    const auto stillAsOpened = [this] {
        try {
            refuseWhenOpenInAccess(m_path);
            struct stat st {};
            if (::stat(m_path.c_str(), &st) != 0 || stampFrom(st) != m_openedAs)
                throw changedError(m_path);
        } catch (...) {
            discard();
            throw;
        }
    };
    stillAsOpened();
    try {
        keepBackup(m_path, backupPathFor(m_path));
    } catch (...) {
        discard();
        throw;
    }
    // Keeping the old file may take a while when it has to be copied.
    stillAsOpened();

    struct stat copy {};
    const bool known = ::fstat(m_tempFd, &copy) == 0;
    if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        const int error = errno;
        discard();
        throw diskError("Could not put the changed copy in place of '" + m_path + "'", error);
    }
    // From here on the new file is in place: nothing may report a failure.
    m_committed = true;
    syncFolder(folderOf(m_path));
    ::close(m_tempFd); // releases the delete lock
    m_tempFd = -1;
    // An unknown stamp only makes the next delete ask for a fresh open.
    return known ? stampFrom(copy) : FileStamp{};
}

} // namespace korvalt::access
