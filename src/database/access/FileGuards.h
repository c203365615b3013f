#pragma once

#include "database/EngineError.h"
#include "database/access/FileReplacement.h"

#include <sys/stat.h>

#include <optional>
#include <string>

namespace korvalt::access {

// The checks made before a database file is replaced, and the errors that
// report them; each description ends with "Nothing was changed."

std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);
FileStamp stampFrom(const struct stat& st);
// The descriptor and the name still lead to the same file.
bool sameFile(int fd, const std::string& path);

EngineError diskError(const std::string& what, int error);
EngineError busyError(const std::string& path);
EngineError changedError(const std::string& path);
EngineError folderReadOnly(const std::string& folder);

// A lock file Access keeps beside a database it has open: the database's
// name without its extension, then .ldb (Jet) or .laccdb (ACE), in any
// letter case since the file may have been made on Windows.
std::optional<std::string> lockFileBeside(const std::string& path);
void refuseWhenOpenInAccess(const std::string& path);
// The write bits are checked as well as access(): an administrator passes
// access() on a file everyone sees as read-only, and a user who marked the
// file or its folder read-only expects it to stay as it is.
void refuseWhenReadOnly(const std::string& path, const struct stat& file);

} // namespace korvalt::access
