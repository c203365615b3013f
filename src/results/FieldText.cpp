#include "results/FieldText.h"

#include <QLocale>

#include <array>
#include <charconv>
#include <cmath>

namespace korvalt {

namespace {

bool onlySpaces(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

std::string realText(double v, std::string_view decimalPoint) {
    if (v == 0.0) {
        // Negative zero is still shown as 0.
        return "0";
    }
    if (std::isnan(v)) {
        return "nan";
    }
    if (std::isinf(v)) {
        return v < 0 ? "-inf" : "inf";
    }
    // Fixed notation without a precision gives the shortest digits that
    // read back as the same double. The largest double needs 309 digits and
    // the smallest subnormal 1074 decimals.
    std::array<char, 1100> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), v, std::chars_format::fixed);
    std::string text(buffer.data(), result.ptr);
    const std::size_t point = text.find('.');
    if (point != std::string::npos) {
        text.replace(point, 1, decimalPoint);
    }
    return text;
}

} // namespace

std::string FieldText::toText(const Value& value) {
    return toText(value, localeDecimalPoint());
}

std::string FieldText::toText(const Value& value, std::string_view decimalPoint) {
    if (value.isText()) {
        return value.asText();
    }
    if (value.isInteger()) {
        return std::to_string(value.asInteger());
    }
    if (value.isReal()) {
        return realText(value.asReal(), decimalPoint);
    }
    return {};
}

bool FieldText::isBlank(const Value& value) {
    return value.isText() && onlySpaces(value.asText());
}

bool FieldText::isNonBlank(const Value& value) {
    return !value.isNull() && !isBlank(value);
}

std::string FieldText::localeDecimalPoint() {
    return QLocale::system().decimalPoint().toStdString();
}

} // namespace korvalt
