#include "app/OptionReader.h"

#include <stdexcept>

namespace korvalt {

bool OptionReader::next() {
    if (m_next >= m_args.size())
        return false;
    m_name = m_args[m_next++];
    m_inlineValue.reset();
    if (const auto eq = m_name.find('='); m_name.rfind("--", 0) == 0 && eq != std::string::npos) {
        m_inlineValue = m_name.substr(eq + 1);
        m_name.resize(eq);
    }
    for (const std::string& earlier : m_seen) {
        if (earlier == m_name)
            throw std::invalid_argument(m_name + " is given more than once");
    }
    m_seen.push_back(m_name);
    return true;
}

std::string OptionReader::value() {
    if (m_inlineValue)
        return *m_inlineValue;
    if (m_next >= m_args.size())
        throw std::invalid_argument(m_name + " needs a value");
    return m_args[m_next++];
}

void OptionReader::noValue() const {
    if (m_inlineValue)
        throw std::invalid_argument(m_name + " takes no value");
}

void OptionReader::unknown() const {
    throw std::invalid_argument(m_name.rfind("-", 0) == 0 ? "unknown option " + m_name
                                                          : "unexpected argument '" + m_name + "'");
}

} // namespace korvalt
