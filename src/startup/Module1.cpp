#include "startup/Module1.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "startup/ErrorReport.h"
#include "startup/IniFile.h"
#include "startup/clsIniControl.h"
#include "startup/frmLocateData.h"
#include "startup/frmSplash.h"
#include "ui/Toolkit.h"
#include "ui/frmTaviDatabase.h"

#include <QFileInfo>
#include <QString>

#include <cassert>
#include <filesystem>
#include <system_error>

namespace korvalt {

std::string gsSupportFooter;
std::string gsContactFooter;
std::string gsSettingsFolder;
std::unique_ptr<clsIniControl> gIniControl;
std::shared_ptr<clsDatabaseControl> gDatabaseControl;
std::unique_ptr<Database> gDatabase;
bool gDatabaseOpen = false;
bool gTableFound = false;
std::int16_t iLayoutCode = 0;
std::string sListTitle;

WindowSlot<frmSplash> frmSplashSlot;
WindowSlot<frmLocateData> frmLocateDataSlot;
WindowSlot<frmTaviDatabase> frmTaviDatabaseSlot;

namespace {
Toolkit* currentToolkit = nullptr;
constexpr const char* kLocateFileName = "Korvalt_Locate.ini";
} // namespace

Toolkit& TheToolkit() {
    assert(currentToolkit != nullptr);
    return *currentToolkit;
}

void SetToolkit(Toolkit* toolkit) {
    currentToolkit = toolkit;
}

std::string BuildSupportFooter() {
    const std::string crlf = ErrorReport::kCrLf;
    return crlf + crlf + "Please contact our IT department by email at " + kSupportAddress + " " +
           crlf + "with the details of this message." + crlf + crlf + "Thank You";
}

std::string BuildContactFooter() {
    const std::string crlf = ErrorReport::kCrLf;
    return crlf + crlf + "Please contact us by email at " + kSupportAddress + " " + crlf + crlf +
           "with the details of this message." + crlf + crlf + "Thank You.";
}

std::string LocateFileFolder(const std::string& programFolder, const std::string& userFolder) {
    const QFileInfo program(QString::fromStdString(programFolder));
    if (userFolder.empty() || (program.isDir() && program.isWritable()))
        return programFolder;
    const std::string file = userFolder + kPathSeparator + kLocateFileName;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) && !ec) {
        // A failure here leaves no locate file: the read finds none and
        // start-up asks for the database as it does for a missing file.
        std::filesystem::create_directories(userFolder, ec);
        IniFile::writeString("Korvalt_Address", "KorvaltAddress", userFolder, file);
    }
    return userFolder;
}

std::string GetKorvaltLocation() {
    std::string result;
    try {
        const Toolkit& toolkit = TheToolkit();
        const std::string file =
            LocateFileFolder(toolkit.programFolder(), toolkit.userSettingsFolder()) +
            kPathSeparator + kLocateFileName;
        result = IniFile::getString("Korvalt_Address", "KorvaltAddress", "Unknown", 200, file);
    } catch (...) {
        const ErrorInfo error = ErrorReport::current();
        TheToolkit().msgBox(ErrorReport::message(error, "GetKorvaltLocation") + ErrorReport::kCrLf +
                                ErrorReport::kCrLf,
                            "Korvalt", MsgButtons::Ok, MsgIcon::Critical);
    }
    return result;
}

void Main() {
    gsSupportFooter = BuildSupportFooter();
    // Loading the splash builds the contact footer and starts its timer.
    frmSplashSlot.get().show();
    gsSettingsFolder = GetKorvaltLocation();
    gIniControl = std::make_unique<clsIniControl>();
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    gIniControl->iniFile = gsSettingsFolder + kPathSeparator + "Korvalt.ini";
    gIniControl->iniSub = "db_address";
    gIniControl->iniHeading = "dbaddress";
    iLayoutCode = 1;
    gTableFound = true;
    const std::string address = gIniControl->GetIniString();
    // A new address confirmed in the location window ends the program
    // there; nothing after that point may run.
    if (TheToolkit().programEnded())
        return;
    gDatabaseControl->setDataAddress(address);
    const auto gateway = gDatabaseControl;
    gateway->ConnectToDatabase();
}

void ResetProcessState() {
    frmTaviDatabaseSlot.unload();
    frmLocateDataSlot.unload();
    frmSplashSlot.unload();
    gsSupportFooter.clear();
    gsContactFooter.clear();
    gsSettingsFolder.clear();
    gIniControl.reset();
    gDatabaseControl.reset();
    gDatabase.reset();
    gDatabaseOpen = false;
    gTableFound = false;
    iLayoutCode = 0;
    sListTitle.clear();
}

} // namespace korvalt
