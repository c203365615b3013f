#include "support/MainWindowFixture.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "support/PipeCsv.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>

#include <filesystem>
#include <stdexcept>

namespace korvalt::testing {

namespace {

// Lets the list show the rows it holds.
void settle(const ResultsListView& list) {
    if (list.count() > 0)
        (void)list.text(0);
    QApplication::processEvents();
}

// A left-button press and release at `at`, delivered as a real click arrives.
void mouseClick(QWidget* target, QPoint at) {
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
}

} // namespace

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

std::string MainWindowFixture::cell(int position, int k) const {
    const ResultsListView& list = *window->lstvResults;
    return k == 0 ? list.text(position) : list.subItem(position, k);
}

MainWindowFixture::Strings MainWindowFixture::shownRows() const {
    Strings rows;
    for (int position = 0; position < window->lstvResults->count(); ++position) {
        rows.push_back(cell(position, 0));
        for (int k = 1; k < window->lstvResults->columnCount(); ++k)
            rows.back() += "|" + cell(position, k);
    }
    return rows;
}

void MainWindowFixture::clickRow(int position) {
    ResultsListView& list = *window->lstvResults;
    settle(list);
    const QModelIndex index = list.model()->index(position, 0);
    if (!index.isValid())
        throw std::out_of_range("no row to click");
    list.scrollTo(index);
    mouseClick(list.viewport(), list.visualRect(index).center());
}

void MainWindowFixture::clickHeader(int index) {
    ResultsListView& list = *window->lstvResults;
    settle(list);
    QHeaderView* header = list.header();
    const int section = index - 1;
    // Wide layouts scroll sideways; bring the column into view first.
    list.horizontalScrollBar()->setValue(header->sectionPosition(section));
    QApplication::processEvents();
    const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
    if (x < 0 || x >= header->viewport()->width())
        throw std::out_of_range("column header not in view");
    mouseClick(header->viewport(), QPoint(x, header->height() / 2));
}

std::string MainWindowFixture::exportAs(const std::string& name) {
    const std::string path = tempPath(name);
    fake.saveFiles.push_back(path);
    window->cmdExport->click();
    return std::filesystem::is_regular_file(path) ? readFile(path) : std::string();
}

} // namespace korvalt::testing
