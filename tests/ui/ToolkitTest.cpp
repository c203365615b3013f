#include "startup/Module1.h"
#include "support/ProcessFixture.h"
#include "ui/QtToolkit.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace korvalt::testing {
namespace {

class ToolkitTest : public ProcessFixture {};

TEST_F(ToolkitTest, MessageBoxesShowTheirTextAsTypedWithTheirIconAndButtons) {
    using Box = QMessageBox;
    // clang-format off
    const struct {
        std::string text;
        QString shown;
        MsgButtons buttons;
        MsgIcon icon;
        Box::Icon qtIcon;
        Box::StandardButton escape; // also the one button beside OK, if any
    } cases[] = {
        {"<b>x</b>", "<b>x</b>", MsgButtons::OkCancel, MsgIcon::None, Box::NoIcon, Box::Cancel},
        {"E\r\n\r\n<i>", "E\n\n<i>", MsgButtons::Ok, MsgIcon::Critical, Box::Critical, Box::Ok},
        {"a", "a", MsgButtons::Ok, MsgIcon::Exclamation, Box::Warning, Box::Ok},
        {"a", "a", MsgButtons::Ok, MsgIcon::Information, Box::Information, Box::Ok},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto box = QtToolkit::makeMessageBox(c.text, "Title", c.buttons, c.icon);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->text() + "|" + box->windowTitle(), c.shown + "|Title");
        EXPECT_EQ(box->icon(), c.qtIcon);
        EXPECT_EQ(box->standardButtons(), Box::Ok | c.escape);
        EXPECT_EQ(box->escapeButton(), static_cast<QAbstractButton*>(box->button(c.escape)));
        EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(Box::Ok));
    }
    EXPECT_EQ(QtToolkit::qtFilter("All Database Files (*.mdb)|*.mdb|Any|*.a;*.b|"),
              "All Database Files (*.mdb);;Any (*.a *.b)");
    EXPECT_EQ(QtToolkit::qtFilter("|*.x|Comma Delimited Files (*.csv)|*.csv"),
              "Comma Delimited Files (*.csv)");
}

TEST_F(ToolkitTest, LongWorkShowsItsCountOnTheWindowAndEndingStopsEverything) {
    QWidget window;
    auto* panel = new QWidget(&window);
    panel->setObjectName(kWorkProgressName);
    auto* text = new QLabel(panel);
    text->setObjectName("workProgressText");
    panel->hide();
    window.show();
    QtToolkit qt;
    qt.workProgress(1); // no work begun: nothing
    qt.setBusyPointer(true);
    qt.beginWork(); // nested: one piece of work
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    qt.workProgress(2500);
    EXPECT_FALSE(panel->isVisibleTo(&window)); // not before half a second
    QThread::msleep(550);
    qt.workProgress(2600); // a count alone reads the clock only now and then
    EXPECT_FALSE(panel->isVisibleTo(&window));
    qt.workProgress(std::nullopt);
    EXPECT_TRUE(panel->isVisibleTo(&window));
    EXPECT_EQ(text->text(), QString("Records read: %L1").arg(2600));
    qt.endWork();
    EXPECT_TRUE(panel->isVisibleTo(&window));
    qt.setBusyPointer(false);
    EXPECT_FALSE(panel->isVisibleTo(&window));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    for (const auto button : {QMessageBox::Ok, QMessageBox::Cancel}) { // the user's answer
        QTimer::singleShot(0, qApp, [button] {
            qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->button(button)->click();
        });
        EXPECT_EQ(qt.msgBox("x", "y", MsgButtons::OkCancel, MsgIcon::None),
                  button == QMessageBox::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel);
    }
    QWidget modal; // shown until it is hidden, not until the first event
    bool waited = false;
    QTimer::singleShot(50, qApp, [&] {
        waited = modal.isVisible();
        modal.hide();
    });
    qt.showModal(modal);
    EXPECT_TRUE(waited);
    qt.endProgram();
    EXPECT_TRUE(qt.programEnded());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(qt.msgBox("x", "y", MsgButtons::Ok, MsgIcon::None), MsgAnswer::Cancel);
    EXPECT_EQ(qt.saveFileDialog("a", "a|*.a", true), std::nullopt);
    qt.showModal(window);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace korvalt::testing
