#pragma once

#include "ui/Toolkit.h"

#include <string>

namespace korvalt::bench {

// Platform services for unattended runs: never waits on anyone, and counts
// the messages that would have been shown so a run can tell it went wrong.
class BenchToolkit : public Toolkit {
public:
    MsgAnswer msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                     MsgIcon icon) override;
    std::optional<std::string> openFileDialog(const std::string&, bool) override { return {}; }
    std::optional<std::string> saveFileDialog(const std::string&, const std::string&,
                                              bool) override {
        return {};
    }
    void showModal(QWidget&) override {}
    void setBusyPointer(bool) override {}
    int screenWidth() const override { return 1920; }
    int screenHeight() const override { return 1080; }
    std::string programFolder() const override { return "."; }
    void endProgram() override { m_ended = true; }
    bool programEnded() const override { return m_ended; }

    int messages() const { return m_messages; }

private:
    int m_messages = 0;
    bool m_ended = false;
};

// Puts the process as the program has it after start-up on the database at
// `path` (not yet opened): fresh process-wide variables, the footers, the
// first layout and a gateway for that address.
void prepareProcess(const std::string& path);

} // namespace korvalt::bench
