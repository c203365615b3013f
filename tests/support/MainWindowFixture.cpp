#include "support/MainWindowFixture.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "support/PipeCsv.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>
#include <QGroupBox>

#include <algorithm>

namespace korvalt::testing {

void MainWindowFixture::SetUp() {
    ProcessFixture::SetUp();
    gsSupportFooter = BuildSupportFooter();
    gsContactFooter = BuildContactFooter();
    databasePath = tempPath("pipe.db");
    test_support::writePipeSqlite(
        databasePath, test_support::loadPipeCsv(KORVALT_FIXTURES_DIR "/pipe-small.csv"));
}

void MainWindowFixture::startOn(const std::string& path) {
    iLayoutCode = 1;
    gTableFound = true;
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    gDatabaseControl->setDataAddress(path);
    gDatabase = OpenDatabase(path);
    gDatabaseOpen = true;
    window = &frmTaviDatabaseSlot.get();
}

void MainWindowFixture::setFilters(const FilterTexts& f) {
    window->cmbDrawName->setEditText(QString::fromStdString(f.drawing));
    window->cmbSpec->setEditText(QString::fromStdString(f.spec));
    window->cmbSize->setEditText(QString::fromStdString(f.size));
    window->cmbShort->setEditText(QString::fromStdString(f.shortDesc));
    window->cmbLineNum->setEditText(QString::fromStdString(f.line));
    window->CmbLong->setEditText(QString::fromStdString(f.longDesc));
    window->cmbTag->setEditText(QString::fromStdString(f.tag));
    window->CmbPartCode->setEditText(QString::fromStdString(f.partCode));
}

std::vector<std::string> MainWindowFixture::entries(const QComboBox* list) {
    std::vector<std::string> all;
    for (int i = 0; i < list->count(); ++i)
        all.push_back(list->itemText(i).toStdString());
    return all;
}

std::vector<std::string> MainWindowFixture::column(int k) const {
    std::vector<std::string> cells;
    const ResultsListView& list = *window->lstvResults;
    for (int position = 0; position < list.count(); ++position)
        cells.push_back(k == 0 ? list.text(position) : list.subItem(position, k));
    return cells;
}

std::string MainWindowFixture::resultsCaption() const {
    return window->frmResults->title().toStdString();
}

std::vector<std::vector<std::string>>
MainWindowFixture::tiesSorted(std::vector<std::vector<std::string>> rows,
                              const std::vector<std::size_t>& keys) {
    const auto key = [&keys](const std::vector<std::string>& row) {
        std::vector<std::string> folded;
        for (const std::size_t k : keys) {
            std::string text = row.at(k);
            for (char& c : text)
                c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            folded.push_back(std::move(text));
        }
        return folded;
    };
    for (auto first = rows.begin(); first != rows.end();) {
        const auto last = std::find_if(first + 1, rows.end(),
                                       [&](const auto& row) { return key(row) != key(*first); });
        std::sort(first, last);
        first = last;
    }
    return rows;
}

} // namespace korvalt::testing
