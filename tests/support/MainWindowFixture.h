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
    // `rows` with the runs of rows that are equal, ignoring letter case, in
    // the columns `keys` each sorted: the order a statement asks for, with
    // what it leaves open (the order of ties) made the same for every
    // database. No keys: the statement asks for no order, all rows sorted.
    static std::vector<std::vector<std::string>>
    tiesSorted(std::vector<std::vector<std::string>> rows, const std::vector<std::size_t>& keys);

    frmTaviDatabase* window = nullptr;
    std::string databasePath;
};

} // namespace korvalt::testing
