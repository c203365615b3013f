#include "results/RecordTexts.h"

#include "database/Recordset.h"
#include "results/FieldText.h"

namespace korvalt {

RecordTexts::RecordTexts(const Recordset& records, std::span<const char* const> names,
                         std::string decimalPoint)
    : m_records(records), m_decimalPoint(std::move(decimalPoint)), m_numbers(names.size()),
      m_texts(names.size()) {
    m_positions.reserve(names.size());
    for (const char* name : names) {
        const int position = records.fieldPosition(name);
        m_usable = m_usable && position >= 0;
        m_positions.push_back(position);
    }
}

std::string_view RecordTexts::read(std::size_t i) {
    const int position = m_positions[i];
    if (const auto text = m_records.textAt(position))
        return *text;
    std::string& number = m_numbers[i];
    number = FieldText::toText(m_records.valueAt(position), m_decimalPoint);
    return number;
}

std::span<const std::string_view> RecordTexts::read() {
    for (std::size_t i = 0; i < m_texts.size(); ++i)
        m_texts[i] = read(i);
    return m_texts;
}

bool RecordTexts::isBlank(std::size_t i) const {
    const auto text = m_records.textAt(m_positions[i]);
    return text && text->find_first_not_of(' ') == std::string_view::npos;
}

} // namespace korvalt
