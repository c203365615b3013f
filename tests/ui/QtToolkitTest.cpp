#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "support/ProcessFixture.h"
#include "ui/QtToolkit.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <memory>

namespace korvalt::testing {
namespace {

class QtToolkitTest : public ProcessFixture {};

TEST_F(QtToolkitTest, MessageBoxesShowTheirTextAsTyped) {
    const struct {
        std::string text;
        QString shown;
    } cases[] = {
        {"<A&B>.dwg", "<A&B>.dwg"},
        {"<b>x</b>", "<b>x</b>"},
        {"Error Number 3024 in routine X \r\n\r\nCould not find file '<i>&amp;.mdb'.",
         "Error Number 3024 in routine X \n\nCould not find file '<i>&amp;.mdb'."},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<QMessageBox> box =
            QtToolkit::makeMessageBox(c.text, "Korvalt", MsgButtons::Ok, MsgIcon::Critical);
        const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << c.text;
        EXPECT_EQ(label->text(), c.shown);
        // Every character typed is laid out: markup would have been swallowed.
        const QString lastLine = c.shown.section('\n', -1);
        EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(lastLine))
            << c.text;
    }
}

// Where each file dialog opened, and what it offered.
struct DialogSeen {
    bool shown = false;
    std::string folder;
    std::string offered; // the selection before any choice
    bool readOnly = true;
    bool confirmsOverwrite = false;
};

// Answers the next file dialog once it is up: notes how it opened, then
// picks `file`, or cancels when `file` is empty.
void answerNextDialog(DialogSeen& seen, const QString& file) {
    QTimer::singleShot(0, qApp, [&seen, file] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return; // the test fails on `shown`
        seen.shown = true;
        seen.folder = dialog->directory().absolutePath().toStdString();
        seen.offered = dialog->selectedFiles().value(0).toStdString();
        seen.readOnly = dialog->testOption(QFileDialog::ReadOnly);
        seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        if (file.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(file);
        // As the user's OK, without the dialog's own checks and prompts.
        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    });
}

TEST_F(QtToolkitTest, BothFileDialogsOpenInTheFolderLastUsed) {
    const std::string root = dir.path().toStdString();
    for (const char* folder : {"plant", "other", "reports"})
        ASSERT_TRUE(QDir(dir.path()).mkpath(folder));
    writeFile("other/area2.mdb", "x");
    // The recorded database need not exist for its folder to be offered.
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    gDatabaseControl->setDataAddress(root + "/plant/missing.mdb");
    const std::string mdbFilter = "All Database Files (*.mdb)|*.mdb|";
    const std::string csvFilter = "Comma Delimited Files (*.csv)|*.csv";

    QtToolkit qt;
    DialogSeen seen;
    answerNextDialog(seen, QString::fromStdString(root + "/other/area2.mdb"));
    EXPECT_EQ(qt.openFileDialog(mdbFilter, true), root + "/other/area2.mdb");
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.folder, root + "/plant");
    EXPECT_FALSE(seen.readOnly);

    // An export opens where the database was just picked, without offering
    // the database's own name to be overwritten.
    seen = {};
    answerNextDialog(seen, QString::fromStdString(root + "/reports/list.csv"));
    EXPECT_EQ(qt.saveFileDialog("Export Record List", csvFilter, true), root + "/reports/list.csv");
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.folder, root + "/other");
    EXPECT_FALSE(seen.offered.ends_with(".mdb")) << seen.offered;
    EXPECT_TRUE(seen.confirmsOverwrite);

    seen = {};
    answerNextDialog(seen, QString());
    EXPECT_EQ(qt.openFileDialog(mdbFilter, true), std::nullopt);
    EXPECT_EQ(seen.folder, root + "/reports");

    // A cancel changes nothing; the next export offers the last name again.
    seen = {};
    answerNextDialog(seen, QString());
    EXPECT_EQ(qt.saveFileDialog("Export Record List", csvFilter, true), std::nullopt);
    EXPECT_EQ(seen.folder, root + "/reports");
    EXPECT_EQ(seen.offered, root + "/reports/list.csv");
}

} // namespace
} // namespace korvalt::testing
