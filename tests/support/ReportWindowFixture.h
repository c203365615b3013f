#pragma once

#include "support/MainWindowFixture.h"

#include <string>
#include <vector>

class QPushButton;

namespace korvalt::testing {

// The main window on the small pipe fixture, shown, driven through its
// controls the way a user drives it: buttons, mouse clicks on rows and
// column headers, and the scripted answers of the fake toolkit.
class ReportWindowFixture : public MainWindowFixture {
protected:
    using Strings = std::vector<std::string>;
    using Rows = std::vector<Strings>;

    // Starts the window on `path` (the SQLite copy by default) and forgets
    // the messages of the load step.
    void start(const std::string& path);
    void start() { start(databasePath); }

    // Mouse click on the row shown at `position` (from 0).
    void clickRow(int position);
    // Mouse click on the header of the column at `index` (from 1).
    void clickHeader(int index);
    // Position of the first row whose own text is `text`; -1 when none.
    int positionOf(const std::string& text) const;
    // The first `columns` cells of every row, in the order shown.
    Rows rows(int columns) const;
    // Exports through the Export button to `name` in the temporary folder
    // and returns what was written ("" when nothing was).
    std::string exportAs(const std::string& name);
    // Messages shown since `from`, as their texts.
    Strings messageTexts(std::size_t from = 0) const;
    // Records of `path` whose drawing name is `drawing`, read over a
    // connection of its own.
    static int recordsOf(const std::string& path, const std::string& drawing);
};

} // namespace korvalt::testing
