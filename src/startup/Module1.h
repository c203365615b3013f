#pragma once

#include "startup/WindowSlot.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvalt {

class clsIniControl;
class clsDatabaseControl;
class Database;
class Toolkit;
class frmSplash;
class frmLocateData;
class frmTaviDatabase;

// The process-wide state of the program, all in one place. Everything here
// lives for the whole run.

// Footer of the gateway's error messages.
extern std::string gsSupportFooter;
// Footer of the filter-list and query-builder error messages.
extern std::string gsContactFooter;
// Folder holding the main settings file, as the locate file names it.
extern std::string gsSettingsFolder;
// Settings reader used once at start-up.
extern std::unique_ptr<clsIniControl> gIniControl;
// The current gateway object. Operations put a fresh one here before use;
// callers keep their own reference while they call it, since the call may
// replace this one.
extern std::shared_ptr<clsDatabaseControl> gDatabaseControl;
// The one open database, shared by every gateway object.
extern std::unique_ptr<Database> gDatabase;
extern bool gDatabaseOpen;
extern bool gTableFound;
// Column layout of the results list now shown.
extern std::int16_t iLayoutCode;
// Title of the report on screen, first line of the export.
extern std::string sListTitle;

// The windows: one instance each, created when first referred to.
extern WindowSlot<frmSplash> frmSplashSlot;
extern WindowSlot<frmLocateData> frmLocateDataSlot;
extern WindowSlot<frmTaviDatabase> frmTaviDatabaseSlot;

// The platform services in use (Qt in the application, a fake in tests).
Toolkit& TheToolkit();
void SetToolkit(Toolkit* toolkit);

// Support address named in both footers.
inline constexpr const char* kSupportAddress = "support@korvalt.example";
// Separator that joins a folder and a file name on this platform.
#ifdef _WIN32
inline constexpr const char* kPathSeparator = "\\";
#else
inline constexpr const char* kPathSeparator = "/";
#endif

// Entry point of the program's own start-up.
void Main();
// Folder named by the locate file, or "Unknown".
std::string GetKorvaltLocation();
// Folder that holds the locate file: the program's folder when it can be
// written, as always, else the user's settings folder (when there is one).
// An installed program meets the second case; the user's folder is then
// created as needed and, while it holds no locate file, given one naming
// that folder itself, so the main settings file is kept there too.
std::string LocateFileFolder(const std::string& programFolder, const std::string& userFolder);

std::string BuildSupportFooter();
std::string BuildContactFooter();

// Closes every window and empties the variables, as at the start of a
// run; lets tests start each case from a clean process.
void ResetProcessState();

} // namespace korvalt
