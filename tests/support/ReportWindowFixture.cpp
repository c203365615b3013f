#include "support/ReportWindowFixture.h"

#include "database/Database.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
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

void ReportWindowFixture::start(const std::string& path) {
    startOn(path);
    window->show();
    QApplication::processEvents();
    fake.messages.clear();
}

void ReportWindowFixture::clickRow(int position) {
    ResultsListView& list = *window->lstvResults;
    settle(list);
    const QModelIndex index = list.model()->index(position, 0);
    if (!index.isValid())
        throw std::out_of_range("no row to click");
    list.scrollTo(index);
    mouseClick(list.viewport(), list.visualRect(index).center());
}

void ReportWindowFixture::clickHeader(int index) {
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

int ReportWindowFixture::positionOf(const std::string& text) const {
    const ResultsListView& list = *window->lstvResults;
    for (int position = 0; position < list.count(); ++position) {
        if (list.text(position) == text)
            return position;
    }
    return -1;
}

ReportWindowFixture::Rows ReportWindowFixture::rows(int columns) const {
    const ResultsListView& list = *window->lstvResults;
    Rows all;
    for (int position = 0; position < list.count(); ++position) {
        Strings row{list.text(position)};
        for (int k = 1; k < columns; ++k)
            row.push_back(list.subItem(position, k));
        all.push_back(row);
    }
    return all;
}

std::string ReportWindowFixture::exportAs(const std::string& name) {
    const std::string path = tempPath(name);
    fake.saveFiles.push_back(path);
    window->cmdExport->click();
    return std::filesystem::is_regular_file(path) ? readFile(path) : std::string();
}

ReportWindowFixture::Strings ReportWindowFixture::messageTexts(std::size_t from) const {
    Strings texts;
    for (std::size_t i = from; i < fake.messages.size(); ++i)
        texts.push_back(fake.messages[i].text);
    return texts;
}

int ReportWindowFixture::recordsOf(const std::string& path, const std::string& drawing) {
    int count = 0;
    const auto db = OpenDatabase(path);
    for (auto rs = db->openRecordset("SELECT DWG_NAME FROM Pipe"); !rs->isEof(); rs->moveNext())
        count += rs->fields("DWG_NAME").isText() && rs->fields("DWG_NAME").asText() == drawing;
    return count;
}

} // namespace korvalt::testing
