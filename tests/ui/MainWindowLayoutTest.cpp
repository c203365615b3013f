#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "ui/ResultLayouts.h"
#include "ui/ResultsListView.h"
#include "ui/Toolkit.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <string>
#include <vector>

namespace korvalt::testing {
namespace {

// What a failure names a control by.
std::string nameOf(const QWidget* widget) {
    if (const auto* button = qobject_cast<const QPushButton*>(widget))
        return button->text().toStdString();
    return widget->objectName().toStdString();
}

class MainWindowLayoutTest : public MainWindowFixture {
protected:
    // Unloads the window of an earlier case and loads a fresh one on a
    // screen offering `available` logical pixels.
    void startOnScreen(QSize available) {
        frmTaviDatabaseSlot.unload();
        flushDeletes();
        fake.width = available.width();
        fake.height = available.height();
        startOn(databasePath);
    }
    QRect inWindow(const QWidget* widget) const {
        return {widget->mapTo(window, QPoint(0, 0)), widget->size()};
    }
    // Every control lies inside the window and every button is wide enough
    // for its caption.
    void expectNothingCut() const {
        for (const QWidget* control : window->findChildren<QWidget*>()) {
            if (control->isWindow() || !control->isVisibleTo(window))
                continue;
            EXPECT_TRUE(window->rect().contains(inWindow(control)))
                << control->metaObject()->className() << " " << nameOf(control);
        }
        for (const QPushButton* button : window->findChildren<QPushButton*>())
            EXPECT_GE(button->width(), button->minimumSizeHint().width()) << nameOf(button);
    }
    // The widgets Tab stops at, in the order Tab visits them from the first
    // filter list.
    std::vector<QWidget*> tabStops() const {
        const auto stops = [this](const QWidget* w) {
            return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy() &&
                   w->isVisibleTo(window);
        };
        std::vector<QWidget*> order;
        QWidget* widget = window->cmbTag;
        do {
            if (stops(widget))
                order.push_back(widget);
            widget = widget->nextInFocusChain();
        } while (widget != window->cmbTag && order.size() < 100);
        std::size_t all = 0;
        for (const QWidget* w : window->findChildren<QWidget*>())
            all += stops(w) ? 1 : 0;
        EXPECT_EQ(order.size(), all) << "every stop is on the chain once";
        return order;
    }
};

// Screens by the room they leave a window, in logical pixels, with a task
// bar taken off: 1366x768 and 1920x1080 at 100 %, and 1920x1080 at 200 %.
const struct Screen {
    const char* name;
    QSize available;
} kScreens[] = {
    {"1366x768", {1366, 728}},
    {"1920x1080", {1920, 1040}},
    {"1920x1080 at 200%", {960, 516}},
};

TEST_F(MainWindowLayoutTest, WindowFitsTheScreenAndTheListTakesTheRoom) {
    for (const Screen& screen : kScreens) {
        SCOPED_TRACE(screen.name);
        startOnScreen(screen.available);
        const QRect area(QPoint(0, 0), screen.available);
        EXPECT_TRUE(area.contains(window->frameGeometry())) << "window off the screen";
        expectNothingCut();

        // The start-up columns were measured on the list as it shows.
        window->show();
        QApplication::processEvents();
        const int shownWidth = window->lstvResults->listWidth();
        const auto& columns = ResultLayouts::columns(18);
        for (std::size_t c = 0; c < columns.size(); ++c)
            EXPECT_EQ(window->lstvResults->columnWidthAt(static_cast<int>(c)),
                      shownWidth / columns[c].divisor)
                << columns[c].caption;

        // Grown to the whole screen (as maximised), the room goes to the
        // list; the criteria keep their height and the work panel stays
        // centred over the list.
        const QSize before = window->lstvResults->size();
        const QSize windowBefore = window->size();
        const int criteriaHeight = window->Frame1->height();
        window->resize(screen.available);
        QWidget* work = window->frmResults->findChild<QWidget*>(kWorkProgressName);
        work->show();
        QApplication::processEvents();
        EXPECT_EQ(window->lstvResults->size(), before + (screen.available - windowBefore));
        EXPECT_EQ(window->Frame1->height(), criteriaHeight);
        EXPECT_EQ(inWindow(work).center(), inWindow(window->lstvResults).center());

        // Made as small as it lets itself be, it still shows everything.
        window->resize(1, 1);
        QApplication::processEvents();
        EXPECT_TRUE(area.contains(window->frameGeometry()));
        expectNothingCut();
        window->hide();
    }
}

TEST_F(MainWindowLayoutTest, TabFollowsTheRowsLeftToRight) {
    startOnScreen(kScreens[0].available);
    const std::vector<QWidget*> order = tabStops();
    ASSERT_GE(order.size(), 21u);
    for (std::size_t i = 1; i < order.size(); ++i) {
        const QRect before = inWindow(order[i - 1]);
        const QRect after = inWindow(order[i]);
        const bool rowBelow = after.top() > before.bottom();
        const bool sameRowRight = after.top() <= before.bottom() &&
                                  before.top() <= after.bottom() && after.left() > before.right();
        EXPECT_TRUE(rowBelow || sameRowRight) << order[i - 1]->objectName().toStdString()
                                              << " then " << order[i]->objectName().toStdString();
    }
}

TEST_F(MainWindowLayoutTest, EnterInAFilterListSearchesAndNeverAsksToExit) {
    startOnScreen(kScreens[0].available);
    fake.messages.clear();
    const auto pressEnter = [](QWidget* target) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    };
    for (QComboBox* list :
         {window->cmbTag, window->CmbPartCode, window->cmbDrawName, window->cmbSpec,
          window->cmbSize, window->CmbLong, window->cmbLineNum, window->cmbShort}) {
        SCOPED_TRACE(list->objectName().toStdString());
        window->cmdReset->click();
        ASSERT_EQ(window->frmResults->title(), "Results");
        list->setEditText(list == window->cmbSize ? "10" : "All");
        pressEnter(list->lineEdit());
        EXPECT_EQ(window->frmResults->title().toStdString(),
                  list == window->cmbSize ? "Results = 2 Items" : "Results = 40 Items");
    }
    // Enter on the other controls does nothing of the sort.
    window->cmdReset->click();
    for (QWidget* other :
         {static_cast<QWidget*>(window->txtDatabase), static_cast<QWidget*>(window->lstvResults),
          static_cast<QWidget*>(window->cmdExport), static_cast<QWidget*>(window)})
        pressEnter(other);
    EXPECT_EQ(window->frmResults->title().toStdString(), "Results");
    EXPECT_TRUE(fake.messages.empty()) << fake.messages.front().title;
    EXPECT_EQ(fake.endCalls, 0);
}

} // namespace
} // namespace korvalt::testing
