#pragma once

#include <string>

namespace korvalt {

// Number and description of a caught error, whatever its kind.
struct ErrorInfo {
    int number;
    std::string description;
};

class ErrorReport {
public:
    static constexpr const char* kCrLf = "\r\n";

    // Describes the exception being handled; call only inside a catch block.
    static ErrorInfo current();

    // "Error Number <n> in routine <routine> CR LF CR LF <description>".
    // `routinePart` is written as given, so callers choose whether a blank
    // follows the routine's name.
    static std::string message(const ErrorInfo& error, const std::string& routinePart);

    // Shows the error through the toolkit with the critical icon and one OK
    // button.
    static void show(const ErrorInfo& error, const std::string& routinePart,
                     const std::string& footer, const std::string& title);
};

} // namespace korvalt
