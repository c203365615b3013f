#include "database/access/FileGuards.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace korvalt::access {

namespace {

namespace errors = engine_errors;

constexpr const char* kNothingChanged = " Nothing was changed.";

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

} // namespace

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileStamp stampFrom(const struct stat& st) {
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                    static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return stamp;
}

bool sameFile(int fd, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

EngineError diskError(const std::string& what, int error) {
    return EngineError(errors::kDiskError,
                       what + " (" + std::strerror(error) + ")." + kNothingChanged);
}

EngineError busyError(const std::string& path) {
    return EngineError(errors::kLocked, "Korvalt is deleting from '" + path +
                                            "' in another window or on another computer right "
                                            "now. Wait until it has finished, then try again." +
                                            kNothingChanged);
}

EngineError changedError(const std::string& path) {
    return EngineError(errors::kChangedByOthers,
                       "'" + path +
                           "' has been changed or replaced on disk since Korvalt opened it. "
                           "Open the database again, so that Korvalt shows what the file holds "
                           "now, and repeat the delete there." +
                           kNothingChanged);
}

std::optional<std::string> lockFileBeside(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::string name = nameOf(path);
    const auto dot = name.rfind('.');
    const std::string stem = lowerCase(dot == std::string::npos ? name : name.substr(0, dot));
    const std::string wanted[] = {stem + ".ldb", stem + ".laccdb"};
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) // a folder that may not be listed: nothing can be seen
        return std::nullopt;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string lower = lowerCase(entry->d_name);
        if (lower == wanted[0] || lower == wanted[1])
            return folder + "/" + entry->d_name;
    }
    return std::nullopt;
}

void refuseWhenOpenInAccess(const std::string& path) {
    if (const auto lockFile = lockFileBeside(path)) {
        throw EngineError(errors::kFileInUse,
                          "'" + path + "' is open in Access on some computer: its lock file '" +
                              *lockFile +
                              "' is beside it. Close the database in Access everywhere and try "
                              "again. If Access or a computer crashed, the lock file may have "
                              "been left behind; then remove it by hand, once nobody uses the "
                              "database." +
                              kNothingChanged);
    }
}

EngineError folderReadOnly(const std::string& folder) {
    return EngineError(errors::kReadOnly,
                       "The folder '" + folder +
                           "' is read-only. Korvalt writes the changed database beside the old "
                           "one and keeps the old one as a .bak file, so it must be able to "
                           "create files in that folder." +
                           kNothingChanged);
}

void refuseWhenReadOnly(const std::string& path, const struct stat& file) {
    if (::access(path.c_str(), W_OK) != 0 || (file.st_mode & 0222) == 0) {
        throw EngineError(errors::kReadOnly,
                          "'" + path +
                              "' is read-only, so Korvalt may not change it. Make the file "
                              "writable for you, then try again." +
                              kNothingChanged);
    }
    const std::string folder = folderOf(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || ::access(folder.c_str(), W_OK | X_OK) != 0 ||
        (st.st_mode & 0222) == 0) {
        throw folderReadOnly(folder);
    }
}

FileStamp stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw EngineError(errors::kFileNotFound, "Could not find file '" + path + "'.");
        throw diskError("Could not look at '" + path + "'", errno);
    }
    return stampFrom(st);
}

} // namespace korvalt::access
