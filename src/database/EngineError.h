#pragma once

#include <stdexcept>
#include <string>

namespace korvalt {

// Numbered engine failure. The numbers callers test for are those of the
// original file engine, so the rest of the program can branch on them.
namespace engine_errors {
constexpr int kGeneral = 3000;
constexpr int kNoCurrentRecord = 3021;
constexpr int kFileNotFound = 3024;
constexpr int kReadOnly = 3027;
constexpr int kEncoded = 3031;
constexpr int kResourcesExceeded = 3035;
constexpr int kDiskError = 3043;
constexpr int kInvalidPath = 3044;
constexpr int kFileInUse = 3045;
constexpr int kIndexPageFull = 3047;
constexpr int kCannotOpen = 3049;
constexpr int kCannotOpenFile = 3051;
constexpr int kTooFewParameters = 3061;
constexpr int kSelectNotExecutable = 3065;
constexpr int kSyntaxError = 3075;
constexpr int kTableNotFound = 3078;
constexpr int kUndefinedFunction = 3085;
constexpr int kBracketing = 3126;
constexpr int kNotAStatement = 3129;
constexpr int kFromClause = 3131;
constexpr int kOrderByClause = 3138;
constexpr int kSelectClause = 3141;
constexpr int kTrailingCharacters = 3142;
constexpr int kChangedByOthers = 3197;
constexpr int kRelatedRecords = 3200;
constexpr int kLocked = 3218;
constexpr int kInvalidOperation = 3219;
constexpr int kNotSupported = 3251;
constexpr int kItemNotFound = 3265;
constexpr int kUnrecognizedFormat = 3343;
constexpr int kObjectClosed = 3420;
constexpr int kReplicated = 3545;
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
