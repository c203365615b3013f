#include "startup/clsIniControl.h"

#include "database/EngineError.h"
#include "startup/ErrorReport.h"
#include "startup/IniFile.h"
#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "ui/Toolkit.h"

namespace korvalt {

std::string clsIniControl::GetIniString() {
    std::string result;
    try {
        result = IniFile::getString(iniSub, iniHeading, "Unknown", 150, iniFile);
        if (result == "Unknown") {
            frmLocateData::ShowWithMessage(
                "Please browse to the correct location of the database file.");
        }
    } catch (...) {
        ErrorReport::show(ErrorReport::current(), "GetIniString ", "", "Korvalt Error");
    }
    return result;
}

void clsIniControl::LetIniString() {
    try {
        // A failed write must not pass for a recorded address: the user is
        // about to be told to restart.
        if (!IniFile::writeString(iniSub, iniHeading, iniData, iniFile))
            throw EngineError(75, "Path/File access error: the settings file '" + iniFile +
                                      "' could not be written.");
    } catch (...) {
        ErrorReport::show(ErrorReport::current(), "LetIniString ", "", "Korvalt Error");
    }
}

} // namespace korvalt
