#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvalt {

// Reads the options of a command line one at a time, as `--name value` or
// `--name=value`, refusing a name given twice. Every complaint is thrown as
// std::invalid_argument with a message for the user.
class OptionReader {
public:
    explicit OptionReader(const std::vector<std::string>& args) : m_args(args) {}

    // Moves to the next option; false when there is none left.
    bool next();
    const std::string& name() const { return m_name; }
    // The option's value: written after '=' or the next argument.
    std::string value();
    // For a switch: refuses a value written after '='.
    void noValue() const;
    // Refuses the current argument as unknown.
    [[noreturn]] void unknown() const;

private:
    const std::vector<std::string>& m_args;
    std::size_t m_next = 0;
    std::string m_name;
    std::optional<std::string> m_inlineValue;
    std::vector<std::string> m_seen;
};

} // namespace korvalt
