#pragma once

#include <cstdint>
#include <future>
#include <string>

namespace korvalt::access {

// Identity of a file's content as seen from outside: if any part differs,
// somebody changed or replaced the file.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file now; raises EngineError 3024 when it is missing.
FileStamp stampOf(const std::string& path);

// Replaces a database file by a changed copy without ever writing the file
// in place:
//   1. the constructor refuses (EngineError, nothing created) when a lock
//      file (.ldb/.laccdb, any letter case) is beside the file, when the
//      file or its folder is read-only, or when the file no longer has the
//      stamp it had when it was opened; it then takes the delete lock,
//      removes a temporary copy a killed run left behind, and starts
//      copying the file, in the background, to a temporary file in the
//      same folder with the same permission bits;
//   2. the caller writes its changed pages into the copy (writePage) and
//      calls flush(), which makes them durable (fsync);
//   3. the caller checks the copy (tempPath());
//   4. commit() checks the lock file and the stamp again, keeps the old
//      file as NAME.bak (a hard link where the file system allows, else a
//      copy), renames the copy over the original and makes the rename
//      durable. Returns the new file's stamp.
// Until commit() has renamed, the destructor removes the copy; a process
// killed at any moment leaves at the original path the old file or the new
// one, whole.
//
// Refusals and failures, all EngineError ending "Nothing was changed.":
// 3045 lock file beside the database, 3027 read-only file or folder, 3197
// stamp differs, 3218 another Korvalt is replacing the same file right now,
// 3043 an I/O failure (the copy is removed at once; later calls raise 3219).
// The "delete lock" is an flock on the temporary copy itself, so it goes
// with the process that holds it: a killed run never blocks the next one.
// A symbolic link is followed: the file it points at is replaced and the
// link stays. The copy gets the original's owner where the system allows.
class FileReplacement {
public:
    FileReplacement(std::string path, const FileStamp& openedAs);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    const std::string& tempPath() const { return m_tempPath; }
    // Returns once the copy holds the whole original; raises what copying
    // met (the copy is then removed). writePage and flush wait by themselves.
    void waitForCopy();
    void writePage(std::uint32_t page, const std::uint8_t* bytes, std::size_t pageSize);
    void flush();
    FileStamp commit();

    // The temporary copy's name for a database path (fixed, so the next run
    // finds a copy a killed run left behind) and the kept old file's name.
    static std::string tempPathFor(const std::string& path);
    static std::string backupPathFor(const std::string& path);

private:
    // Fills the copy from the original; raises without cleaning up.
    void copyOriginal();
    // Removes the copy and closes it; every later call is refused.
    void discard() noexcept;

    std::string m_path;
    std::string m_tempPath;
    FileStamp m_openedAs;
    // The copy, open for writing; it also holds the delete lock.
    int m_tempFd = -1;
    bool m_committed = false;
    // The copying under way in the background, until waitForCopy took it.
    std::future<void> m_copying;
};

} // namespace korvalt::access
