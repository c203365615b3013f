#pragma once

#include "query/QueryBuilder.h"
#include "support/ProcessFixture.h"

#include <string>
#include <vector>

class QComboBox;

namespace korvalt {
class frmTaviDatabase;
}

namespace korvalt::testing {

// A process that has started on a copy of the small pipe fixture, with the
// main window loaded.
class MainWindowFixture : public ProcessFixture {
protected:
    void SetUp() override;
    // Opens `path` as the database and loads the main window on it.
    void startOn(const std::string& path);

    // Puts the texts into the eight filter lists, as a user typing them.
    void setFilters(const FilterTexts& filters);
    static std::vector<std::string> entries(const QComboBox* list);
    // Column `k` (0 = row text) of every row, in the order shown.
    std::vector<std::string> column(int k) const;
    std::string resultsCaption() const;

    frmTaviDatabase* window = nullptr;
    std::string databasePath;
};

} // namespace korvalt::testing
