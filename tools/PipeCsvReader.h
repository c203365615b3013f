#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt {

// Reads comma-separated text as our pipe sample files are written: fields
// separated by commas, records by LF or CR LF; a field in double quotes may
// hold commas, line breaks and doubled quotes. Whether a field was quoted is
// kept, because an unquoted empty field stands for Null and a quoted empty
// field ("") for the empty string. A leading UTF-8 byte-order mark and empty
// lines are skipped.
class PipeCsvReader {
public:
    struct Field {
        std::string text;
        bool quoted = false;
    };
    struct Row {
        std::size_t line = 0; // line on which the record starts, from 1
        std::vector<Field> fields;
    };

    // Splits `text` into records. Raises std::runtime_error naming the line
    // of a malformed field (a quote inside an unquoted field, text after a
    // closing quote, a quote left open at the end).
    static std::vector<Row> parse(std::string_view text);
};

} // namespace korvalt
