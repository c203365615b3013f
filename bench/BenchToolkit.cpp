#include "BenchToolkit.h"

#include <iostream>

namespace korvalt::bench {

MsgAnswer BenchToolkit::msgBox(const std::string& text, const std::string& title, MsgButtons,
                               MsgIcon) {
    ++m_messages;
    std::cerr << title << ": " << text << "\n";
    return MsgAnswer::Ok;
}

} // namespace korvalt::bench
