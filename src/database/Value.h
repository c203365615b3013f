#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace korvalt {

// One field value as the engine hands it out: Null, a whole number, a
// floating-point number or text (UTF-8). Null and empty text are different
// values and must stay apart all the way to the screen.
class Value {
public:
    Value() = default;
    static Value null() { return Value(); }
    static Value integer(std::int64_t v) { return Value(Storage(v)); }
    static Value real(double v) { return Value(Storage(v)); }
    static Value text(std::string v) { return Value(Storage(std::move(v))); }

    bool isNull() const { return std::holds_alternative<std::monostate>(m_v); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(m_v); }
    bool isReal() const { return std::holds_alternative<double>(m_v); }
    bool isText() const { return std::holds_alternative<std::string>(m_v); }

    std::int64_t asInteger() const { return std::get<std::int64_t>(m_v); }
    double asReal() const { return std::get<double>(m_v); }
    const std::string& asText() const { return std::get<std::string>(m_v); }

    bool operator==(const Value& other) const = default;

private:
    using Storage = std::variant<std::monostate, std::int64_t, double, std::string>;
    explicit Value(Storage s) : m_v(std::move(s)) {}
    Storage m_v;
};

} // namespace korvalt
