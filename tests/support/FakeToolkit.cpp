#include "support/FakeToolkit.h"

#include <QLabel>
#include <QWidget>

namespace korvalt::testing {

MsgAnswer FakeToolkit::msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                              MsgIcon icon) {
    messages.push_back({text, title, buttons, icon});
    if (msgAnswers.empty())
        return MsgAnswer::Ok;
    const MsgAnswer answer = msgAnswers.front();
    msgAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakeToolkit::openFileDialog(const std::string& filter, bool) {
    openFilters.push_back(filter);
    if (openFiles.empty())
        return std::nullopt;
    auto answer = openFiles.front();
    openFiles.pop_front();
    return answer;
}

std::optional<std::string> FakeToolkit::saveFileDialog(const std::string& title,
                                                       const std::string& filter,
                                                       bool promptOverwrite) {
    saveRequests.push_back({title, filter, promptOverwrite});
    if (saveFiles.empty())
        return std::nullopt;
    auto answer = saveFiles.front();
    saveFiles.pop_front();
    return answer;
}

void FakeToolkit::showModal(QWidget& window) {
    ModalShow shown{window.objectName().toStdString(), {}};
    if (const auto* label = window.findChild<QLabel*>("Label1"))
        shown.label = label->text().toStdString();
    modals.push_back(shown);
    if (modalScripts.empty())
        return;
    const ModalScript script = modalScripts.front();
    modalScripts.pop_front();
    script(window);
}

void FakeToolkit::workProgress(std::optional<std::size_t> recordsRead) {
    if (workDepth == 0 && busyDepth == 0)
        ++progressOutsideWork;
    if (recordsRead)
        lastRecordsRead = *recordsRead;
}

void FakeToolkit::setBusyPointer(bool busy) {
    if (busy) {
        ++busyDepth;
        ++busyOnCount;
    } else if (busyDepth > 0) {
        --busyDepth;
    }
}

} // namespace korvalt::testing
