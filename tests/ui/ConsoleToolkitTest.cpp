#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "support/ProcessFixture.h"
#include "ui/ConsoleToolkit.h"

#include <QLabel>

#include <sstream>

namespace korvalt::testing {
namespace {

class ConsoleToolkitTest : public ProcessFixture {};

TEST_F(ConsoleToolkitTest, MessagesGoToTheStreamAndNothingIsConfirmed) {
    std::ostringstream err;
    ConsoleToolkit console(err);
    EXPECT_EQ(
        console.msgBox("Are you sure?", "Confirm Delete", MsgButtons::OkCancel, MsgIcon::None),
        MsgAnswer::Cancel);
    EXPECT_EQ(console.msgBox("Note", "Info", MsgButtons::Ok, MsgIcon::Information), MsgAnswer::Ok);
    EXPECT_FALSE(console.errorReported());
    EXPECT_EQ(console.msgBox("Error Number 3075\r\n\r\nbad", "Korvalt", MsgButtons::Ok,
                             MsgIcon::Critical),
              MsgAnswer::Ok);
    EXPECT_TRUE(console.errorReported());
    EXPECT_EQ(err.str(), "Confirm Delete: Are you sure?\nInfo: Note\nKorvalt: Error Number "
                         "3075\n\nbad\n");
    EXPECT_FALSE(console.saveFileDialog("Export", "*.csv", true));
    EXPECT_FALSE(console.openFileDialog("*.mdb", true));
}

TEST_F(ConsoleToolkitTest, ModalWindowIsOnlyDescribed) {
    std::ostringstream err;
    ConsoleToolkit console(err);
    SetToolkit(&console);
    frmLocateData window;
    window.setMessage("Please browse.");
    EXPECT_FALSE(console.windowRequested());
    console.showModal(window);
    EXPECT_TRUE(console.windowRequested());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(err.str(), "Locate CadWorx Database File: Please browse.\n");
    console.endProgram();
    EXPECT_TRUE(console.programEnded());
}

} // namespace
} // namespace korvalt::testing
