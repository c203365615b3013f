#pragma once

#include "database/Value.h"

#include <string>
#include <string_view>

namespace korvalt {

// How a field value of a record is shown in the results list, and the blank
// test the check reports apply to it.
class FieldText {
public:
    // Text exactly as stored; whole numbers in plain decimal; real numbers in
    // the shortest plain decimal form that reads back as the same number
    // (2.5, 6, 250.5, 0.1: never an exponent, padding or thousands
    // separator), with the decimal separator of the user's locale. Null is
    // shown as an empty cell.
    static std::string toText(const Value& value);
    // The same with a given decimal separator.
    static std::string toText(const Value& value, std::string_view decimalPoint);

    // A value is blank when it is text that is empty once leading and
    // trailing spaces are removed. Null is neither blank nor non-blank; a
    // number is non-blank.
    static bool isBlank(const Value& value);
    static bool isNonBlank(const Value& value);

    // The decimal separator of the user's locale, as UTF-8.
    static std::string localeDecimalPoint();
};

} // namespace korvalt
