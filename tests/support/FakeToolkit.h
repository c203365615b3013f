#pragma once

#include "ui/Toolkit.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvalt::testing {

// Scripted stand-in for the platform: records every request and answers
// from queues set up by the test, so nothing ever waits on a person.
class FakeToolkit : public Toolkit {
public:
    struct Message {
        std::string text;
        std::string title;
        MsgButtons buttons;
        MsgIcon icon;
    };
    struct ModalShow {
        std::string windowName;
        std::string label; // the window's message label, where it has one
    };
    using ModalScript = std::function<void(QWidget&)>;

    // Scripts.
    std::deque<MsgAnswer> msgAnswers;                 // default: Ok
    std::deque<std::optional<std::string>> openFiles; // default: cancelled
    std::deque<std::optional<std::string>> saveFiles; // default: cancelled
    std::deque<ModalScript> modalScripts;             // default: leave the window as it is
    std::string folder = ".";
    int width = 1366;
    int height = 768;

    // What happened.
    std::vector<Message> messages;
    std::vector<ModalShow> modals;
    std::vector<std::string> openFilters;
    std::vector<std::string> saveRequests; // "title|filter", "|ask" added when asking to overwrite
    int endCalls = 0;
    int busyDepth = 0;
    int busyOnCount = 0;
    int workDepth = 0;               // beginWork less endWork
    std::size_t lastRecordsRead = 0; // the last count workProgress was given

    MsgAnswer msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                     MsgIcon icon) override;
    std::optional<std::string> openFileDialog(const std::string& filter,
                                              bool hideReadOnly) override;
    std::optional<std::string> saveFileDialog(const std::string& title, const std::string& filter,
                                              bool promptOverwrite) override;
    void showModal(QWidget& window) override;
    void setBusyPointer(bool busy) override;
    void beginWork() override { ++workDepth; }
    void workProgress(std::optional<std::size_t> recordsRead) override {
        lastRecordsRead = recordsRead.value_or(lastRecordsRead);
    }
    void endWork() override { --workDepth; }
    int screenWidth() const override { return width; }
    int screenHeight() const override { return height; }
    std::string programFolder() const override { return folder; }
    void endProgram() override { ++endCalls; }
    bool programEnded() const override { return endCalls > 0; }
};

} // namespace korvalt::testing
