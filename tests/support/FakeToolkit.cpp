#include "support/FakeToolkit.h"

#include <QLabel>
#include <QWidget>

namespace korvalt::testing {

namespace {
// The next scripted answer, or `otherwise` when the script has run out.
template <typename T> T next(std::deque<T>& script, T otherwise) {
    if (script.empty())
        return otherwise;
    T answer = std::move(script.front());
    script.pop_front();
    return answer;
}
} // namespace

MsgAnswer FakeToolkit::msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                              MsgIcon icon) {
    messages.push_back({text, title, buttons, icon});
    return next(msgAnswers, MsgAnswer::Ok);
}

std::optional<std::string> FakeToolkit::openFileDialog(const std::string& filter, bool) {
    openFilters.push_back(filter);
    return next(openFiles, std::optional<std::string>());
}

std::optional<std::string> FakeToolkit::saveFileDialog(const std::string& title,
                                                       const std::string& filter,
                                                       bool promptOverwrite) {
    saveRequests.push_back(title + "|" + filter + (promptOverwrite ? "|ask" : ""));
    return next(saveFiles, std::optional<std::string>());
}

void FakeToolkit::showModal(QWidget& window) {
    ModalShow shown{window.objectName().toStdString(), {}};
    if (const auto* label = window.findChild<QLabel*>("Label1"))
        shown.label = label->text().toStdString();
    modals.push_back(shown);
    if (const ModalScript script = next(modalScripts, ModalScript()))
        script(window);
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
