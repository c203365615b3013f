#pragma once

#include <string>

namespace korvalt {

// Reads and writes one key of a settings file. Callers set the public
// fields, then call an operation.
class clsIniControl {
public:
    std::string iniFile;
    std::string iniSub;
    std::string iniHeading;
    std::string iniData;

    // Value of iniHeading in section iniSub, at most 149 characters, or
    // "Unknown" when absent; in that case the location window has been shown
    // (and closed) before the call returns.
    std::string GetIniString();
    // Writes iniData under iniHeading, creating file, section and key.
    void LetIniString();
};

} // namespace korvalt
