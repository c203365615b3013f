#include "ui/ConsoleToolkit.h"

#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

#include <ostream>

namespace korvalt {

ConsoleToolkit::ConsoleToolkit(std::ostream& errors) : m_errors(errors) {}

std::string ConsoleToolkit::consoleText(const std::string& text) {
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }
    return lines;
}

MsgAnswer ConsoleToolkit::msgBox(const std::string& text, const std::string& title,
                                 MsgButtons buttons, MsgIcon icon) {
    m_errors << consoleText(title) << ": " << consoleText(text) << '\n' << std::flush;
    if (icon == MsgIcon::Critical)
        m_errorReported = true;
    // Nobody is there to confirm: whatever an OK/Cancel box guards (a
    // delete, leaving the program) does not happen.
    return buttons == MsgButtons::OkCancel ? MsgAnswer::Cancel : MsgAnswer::Ok;
}

std::optional<std::string> ConsoleToolkit::openFileDialog(const std::string&, bool) {
    return std::nullopt;
}

std::optional<std::string> ConsoleToolkit::saveFileDialog(const std::string&, const std::string&,
                                                          bool) {
    return std::nullopt;
}

void ConsoleToolkit::showModal(QWidget& window) {
    m_windowRequested = true;
    const auto* label = window.findChild<QLabel*>("Label1");
    const std::string message = label ? label->text().toStdString() : std::string();
    const std::string title = window.windowTitle().toStdString();
    m_errors << consoleText(title.empty() ? window.objectName().toStdString() : title) << ": "
             << consoleText(message) << '\n'
             << std::flush;
}

std::string ConsoleToolkit::programFolder() const {
    return QCoreApplication::applicationDirPath().toStdString();
}

} // namespace korvalt
