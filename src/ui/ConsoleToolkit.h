#pragma once

#include "ui/Toolkit.h"

#include <iosfwd>

namespace korvalt {

// The platform services for a run without windows. Messages go to an error
// stream instead of a box, and every question is answered the safe way: an
// OK/Cancel box is cancelled (a report must never delete or exit on its
// own), dialogs return nothing and no window is ever shown. What was
// reported is remembered so the caller can end with a failure status.
class ConsoleToolkit : public Toolkit {
public:
    explicit ConsoleToolkit(std::ostream& errors);

    // Writes "title: text" (CR LF turned into LF); answers Ok to an
    // OK-only box and Cancel to an OK/Cancel box.
    MsgAnswer msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                     MsgIcon icon) override;
    std::optional<std::string> openFileDialog(const std::string& filter,
                                              bool hideReadOnly) override;
    std::optional<std::string> saveFileDialog(const std::string& title, const std::string& filter,
                                              bool promptOverwrite) override;
    // Writes the window's message (its "Label1" label) and returns at once,
    // as if the window had been closed unchanged.
    void showModal(QWidget& window) override;
    void setBusyPointer(bool) override {}
    int screenWidth() const override { return 1024; }
    int screenHeight() const override { return 768; }
    std::string programFolder() const override;
    void endProgram() override { m_ended = true; }
    bool programEnded() const override { return m_ended; }

    // A message with the critical icon was written.
    bool errorReported() const { return m_errorReported; }
    // Something asked for a modal window (the database location window:
    // the address or the table was wrong).
    bool windowRequested() const { return m_windowRequested; }

    // Line ends of a message as the console wants them.
    static std::string consoleText(const std::string& text);

private:
    std::ostream& m_errors;
    bool m_errorReported = false;
    bool m_windowRequested = false;
    bool m_ended = false;
};

} // namespace korvalt
