#pragma once

#include "query/QueryBuilder.h"
#include "support/ProcessFixture.h"

#include <string>
#include <vector>

namespace korvalt {
class frmTaviDatabase;
}

namespace korvalt::testing {

// A process started on a copy of the small pipe fixture, its main window driven as a user
// drives it: typed filters, buttons, clicks on rows and headers, scripted answers.
class MainWindowFixture : public ProcessFixture {
protected:
    using Strings = std::vector<std::string>;

    void SetUp() override;
    // Opens `path` as the database and loads the main window on it.
    void startOn(const std::string& path);
    // Puts the texts into the eight filter lists, as a user typing them.
    void setFilters(const FilterTexts& filters);

    // Cell `k` (0 = the row's own text) of the row shown at `position`.
    std::string cell(int position, int k) const;
    // Every row in the order shown, its cells joined by '|'.
    Strings shownRows() const;
    // Mouse click on the row shown at `position` (from 0).
    void clickRow(int position);
    // Mouse click on the header of the column at `index` (from 1).
    void clickHeader(int index);
    // Exports via the Export button to `name` in the temporary folder: what was written, or "".
    std::string exportAs(const std::string& name);

    frmTaviDatabase* window = nullptr;
    std::string databasePath;
};

} // namespace korvalt::testing
