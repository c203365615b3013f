#include "BenchToolkit.h"

#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"

#include <iostream>
#include <memory>

namespace korvalt::bench {

MsgAnswer BenchToolkit::msgBox(const std::string& text, const std::string& title, MsgButtons,
                               MsgIcon) {
    ++m_messages;
    std::cerr << title << ": " << text << "\n";
    return MsgAnswer::Ok;
}

void prepareProcess(const std::string& path) {
    ResetProcessState();
    gsSupportFooter = BuildSupportFooter();
    gsContactFooter = BuildContactFooter();
    iLayoutCode = 1;
    gTableFound = true;
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    gDatabaseControl->setDataAddress(path);
}

} // namespace korvalt::bench
