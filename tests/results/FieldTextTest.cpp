#include "results/FieldText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvalt::testing {
namespace {

struct TextCase {
    Value value;
    std::string point;
    std::string expected;
};

class FieldTextCases : public ::testing::TestWithParam<TextCase> {};

TEST_P(FieldTextCases, ShowsTheValue) {
    const TextCase& c = GetParam();
    EXPECT_EQ(FieldText::toText(c.value, c.point), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FieldTextCases,
    ::testing::Values(
        // Text exactly as stored, spaces included.
        TextCase{Value::text("HV-7 "), ".", "HV-7 "}, TextCase{Value::text("   "), ".", "   "},
        TextCase{Value::text(""), ".", ""},
        TextCase{Value::text("Ventil \xC3\x98"
                             "50"),
                 ",",
                 "Ventil \xC3\x98"
                 "50"},
        TextCase{Value::text("2.5"), ",", "2.5"}, // text keeps its own point
        // Null is an empty cell.
        TextCase{Value::null(), ".", ""},
        // Whole numbers.
        TextCase{Value::integer(40000), ".", "40000"}, TextCase{Value::integer(-12), ".", "-12"},
        TextCase{Value::integer(std::numeric_limits<std::int64_t>::min()), ".",
                 "-9223372036854775808"},
        // Reals: shortest round-trip form, no exponent, no padding.
        TextCase{Value::real(2.5), ".", "2.5"}, TextCase{Value::real(6.0), ".", "6"},
        TextCase{Value::real(6000.0), ".", "6000"}, TextCase{Value::real(250.5), ".", "250.5"},
        TextCase{Value::real(0.1), ".", "0.1"}, TextCase{Value::real(1000.25), ".", "1000.25"},
        TextCase{Value::real(0.75), ".", "0.75"}, TextCase{Value::real(-3.25), ".", "-3.25"},
        TextCase{Value::real(0.1 + 0.2), ".", "0.30000000000000004"},
        TextCase{Value::real(1e20), ".", "100000000000000000000"},
        TextCase{Value::real(1.5e-7), ".", "0.00000015"},
        TextCase{Value::real(123456789.0), ".", "123456789"}, TextCase{Value::real(-0.0), ".", "0"},
        TextCase{Value::real(0.0), ",", "0"},
        // The locale's separator replaces the point, and only there.
        TextCase{Value::real(2.5), ",", "2,5"}, TextCase{Value::real(1234.5), ",", "1234,5"},
        TextCase{Value::real(6.0), ",", "6"}));

TEST(FieldText, VeryLargeAndSmallRealsStayPlainDecimal) {
    const std::string big = FieldText::toText(Value::real(std::numeric_limits<double>::max()), ".");
    EXPECT_EQ(big.size(), 309u);
    EXPECT_EQ(big.substr(0, 5), "17976");
    EXPECT_EQ(big.find_first_not_of("0123456789"), std::string::npos);

    const std::string tiny =
        FieldText::toText(Value::real(std::numeric_limits<double>::denorm_min()), ".");
    // 5e-324 written out: "0." and 323 zeros before the 5.
    EXPECT_EQ(tiny, "0." + std::string(323, '0') + "5");
}

TEST(FieldText, DefaultSeparatorIsTheLocales) {
    const std::string point = FieldText::localeDecimalPoint();
    ASSERT_FALSE(point.empty());
    EXPECT_EQ(FieldText::toText(Value::real(2.5)), "2" + point + "5");
    EXPECT_EQ(FieldText::toText(Value::real(6.0)), "6");
}

TEST(FieldText, BlankIsSpacesOnlyAndNullIsNeither) {
    struct Case {
        Value value;
        bool blank;
        bool nonBlank;
    };
    const Case cases[] = {
        {Value::text(""), true, false},    {Value::text("   "), true, false},
        {Value::text(" a "), false, true}, {Value::text("\t"), false, true},
        {Value::null(), false, false},     {Value::integer(0), false, true},
        {Value::real(0.0), false, true},   {Value::text("All"), false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FieldText::isBlank(c.value), c.blank) << FieldText::toText(c.value, ".");
        EXPECT_EQ(FieldText::isNonBlank(c.value), c.nonBlank) << FieldText::toText(c.value, ".");
    }
}

} // namespace
} // namespace korvalt::testing
