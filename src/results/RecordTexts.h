#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt {

class Recordset;

// The texts of chosen fields of each record, as the results list shows them
// (FieldText::toText), read in place where the recordset allows: text
// fields are not copied, numbers are written into buffers kept between
// records. For writers that turn every record of a large result into a row.
class RecordTexts {
public:
    // `names`: the fields, in the order of the texts handed out.
    RecordTexts(const Recordset& records, std::span<const char* const> names,
                std::string decimalPoint);

    // True when every field can be read by position; otherwise read() must
    // not be used and the fields are read by name as before.
    bool usable() const { return m_usable; }

    // The texts of the current record; valid until the record changes or
    // the next read().
    std::span<const std::string_view> read();
    // One of them alone (i indexes `names`); valid likewise.
    std::string_view read(std::size_t i);
    // FieldText::isBlank of field i, without making its value.
    bool isBlank(std::size_t i) const;

private:
    const Recordset& m_records;
    std::string m_decimalPoint;
    std::vector<int> m_positions;
    std::vector<std::string> m_numbers;
    std::vector<std::string_view> m_texts;
    bool m_usable = true;
};

} // namespace korvalt
