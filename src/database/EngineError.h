#pragma once

#include <stdexcept>
#include <string>

namespace korvalt {

// Numbered engine failure. The numbers callers test for are those of the
// original file engine, so the rest of the program can branch on them.
namespace engine_errors {
constexpr int kFileNotFound = 3024;
constexpr int kReadOnly = 3027;
constexpr int kInvalidPath = 3044;
constexpr int kSyntaxError = 3075;
constexpr int kTableNotFound = 3078;
constexpr int kTooFewParameters = 3061;
constexpr int kTrailingCharacters = 3142;
constexpr int kUnrecognizedFormat = 3343;
constexpr int kGeneral = 3000;
} // namespace engine_errors

class EngineError : public std::runtime_error {
public:
    EngineError(int number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}
    int number() const { return m_number; }
    std::string description() const { return what(); }

private:
    int m_number;
};

} // namespace korvalt
