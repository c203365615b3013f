#pragma once

#include "support/FakeToolkit.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace korvalt::testing {

// Starts every test from a fresh process state, with the fake toolkit in
// place and a private temporary folder.
class ProcessFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string tempPath(const std::string& name) const;
    // Writes a file in the temporary folder and returns its path.
    std::string writeFile(const std::string& name, const std::string& content) const;
    static std::string readFile(const std::string& path);
    // Creates an SQLite pipe database holding `records` plain records.
    std::string makePipeDatabase(const std::string& name, int records = 3) const;
    // Where the window and each control in it are, with their font size (b:
    // bold) and a label's alignment: "x,y wxh size[b][ aN];" each.
    static std::string layout(const QWidget& window);
    // The words of a command line (none for "").
    static std::vector<std::string> words(const std::string& line);
    // "N lines, C characters, widest W" of a text of whole lines.
    static std::string shape(const std::string& text);
    // Lets Qt destroy the windows that were unloaded.
    static void flushDeletes();

    FakeToolkit fake;
    QTemporaryDir dir;
};

} // namespace korvalt::testing
