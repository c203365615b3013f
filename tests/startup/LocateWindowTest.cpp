#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "support/ProcessFixture.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

namespace korvalt::testing {
namespace {

class LocateWindowTest : public ProcessFixture {
protected:
    void SetUp() override {
        ProcessFixture::SetUp();
        gsSettingsFolder = dir.path().toStdString();
        iniPath = gsSettingsFolder + "/Korvalt.ini";
    }
    frmLocateData& window() { return frmLocateDataSlot.get(); }
    std::string stored() const {
        return std::filesystem::exists(iniPath) ? readFile(iniPath) : std::string("<none>");
    }
    std::string iniPath;
};

TEST_F(LocateWindowTest, CaptionsTooltipsAndTabOrderAreAsDesigned) {
    frmLocateData& w = window();
    EXPECT_EQ(w.windowTitle(), "Locate CadWorx Database File");
    EXPECT_EQ(w.Frame1->title(), "Database Location");
    EXPECT_EQ(w.lblDatabase->text(), "Database Location");
    const struct {
        QPushButton* button;
        const char* caption;
        const char* tip;
    } buttons[] = {{w.cmdDatabaseBrowse, "Browse", "Locates Database"},
                   {w.cmdok, "Ok", "Apply Changes and exit"},
                   {w.cmdCancel, "Cancel", "Cancel"},
                   {w.cmdApply, "Apply", "Apply Changes"}};
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->text(), b.caption);
        EXPECT_EQ(b.button->toolTip(), b.tip);
    }
    EXPECT_EQ(w.cmdDatabaseBrowse->nextInFocusChain(), w.txtAddress);
    EXPECT_EQ(w.txtAddress->nextInFocusChain(), w.cmdCancel);
    EXPECT_EQ(w.cmdCancel->nextInFocusChain(), w.cmdApply);
    EXPECT_EQ(w.cmdApply->nextInFocusChain(), w.cmdok);
    // Centred on the screen.
    EXPECT_EQ(w.x(), (fake.width - w.width()) / 2);
    EXPECT_EQ(w.y(), (fake.height - w.height()) / 2);
}

// Each control of the window holds its whole text, whichever explanation
// it shows and whatever the font, and no control covers another.
TEST_F(LocateWindowTest, EveryTextFitsItsControlAtAnyFontSize) {
    QFont large = QApplication::font();
    large.setPointSize(24);
    const QFont fonts[] = {QApplication::font(), large};
    const char* explanations[] = {
        "Please browse to the correct location of the database file.",
        "The location or name of the database file is recorded incorrectly. Please browse to the "
        "correct location of the database file."};
    for (const QFont& font : fonts) {
        for (const char* explanation : explanations) {
            SCOPED_TRACE(font.pointSize());
            SCOPED_TRACE(explanation);
            frmLocateData& w = window();
            w.setFont(font);
            w.setMessage(explanation);
            const QFontMetrics metrics(font);

            const QRect message = w.Label1->contentsRect();
            EXPECT_GE(message.height(), metrics
                                            .boundingRect(QRect(0, 0, message.width(), 100000),
                                                          Qt::TextWordWrap, explanation)
                                            .height());
            // Below the frame's title.
            EXPECT_GE(w.Label1->y(), metrics.height());
            EXPECT_GE(w.lblDatabase->contentsRect().width(),
                      metrics.horizontalAdvance(w.lblDatabase->text()));
            EXPECT_GE(w.lblDatabase->height(), metrics.height());
            for (const QPushButton* b : {w.cmdDatabaseBrowse, w.cmdok, w.cmdCancel, w.cmdApply}) {
                EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
                EXPECT_GE(b->height(), b->sizeHint().height()) << b->text().toStdString();
            }
            EXPECT_GE(w.txtAddress->height(), w.txtAddress->sizeHint().height());

            for (const QWidget* parent :
                 {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.Frame1)}) {
                const QList<QWidget*> controls =
                    parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
                for (qsizetype i = 0; i < controls.size(); ++i) {
                    const QRect at = controls[i]->geometry();
                    EXPECT_TRUE(parent->rect().contains(at))
                        << controls[i]->objectName().toStdString();
                    for (qsizetype j = i + 1; j < controls.size(); ++j)
                        EXPECT_FALSE(at.intersects(controls[j]->geometry()))
                            << controls[i]->metaObject()->className() << " "
                            << controls[j]->metaObject()->className();
                }
            }
            frmLocateDataSlot.unload();
            flushDeletes();
        }
    }
}

TEST_F(LocateWindowTest, BlankAddressIsRefusedWithTheButtonsOwnMessage) {
    const struct {
        const char* typed;
        bool ok;
        const char* message;
    } cases[] = {
        {"", false, "Please Enter The Address for the Routine Database file."},
        {"    ", false, "Please Enter The Address for the Routine Database file."},
        {"", true, "Please Enter The Address for the Database file."},
        {" \t ", true, "Please Enter The Address for the Database file."},
    };
    for (const auto& c : cases) {
        fake.messages.clear();
        frmLocateData& w = window();
        w.txtAddress->setText(c.typed);
        (c.ok ? w.cmdok : w.cmdApply)->click();
        ASSERT_EQ(fake.messages.size(), 1u) << c.typed;
        EXPECT_EQ(fake.messages[0].text, c.message);
        EXPECT_EQ(fake.messages[0].title, "Error");
        EXPECT_EQ(fake.messages[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(w.txtAddress->selectedText(), w.txtAddress->text());
        EXPECT_TRUE(w.cmdCancel->isEnabled());
        EXPECT_EQ(stored(), "<none>");
        EXPECT_EQ(fake.endCalls, 0);
    }
}

TEST_F(LocateWindowTest, ApplyStoresTrimmedAddressAndDisablesCancel) {
    frmLocateData& w = window();
    w.txtAddress->setText("  /plant/unit 1/pipe.mdb  ");
    w.cmdApply->click();
    EXPECT_EQ(stored(), "[db_address]\ndbaddress=/plant/unit 1/pipe.mdb\n");
    EXPECT_FALSE(w.cmdCancel->isEnabled());
    EXPECT_TRUE(frmLocateDataSlot.loaded());
    EXPECT_EQ(fake.endCalls, 0);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(LocateWindowTest, ApplyThenOkWritesAgainAndEnds) {
    frmLocateData& w = window();
    w.txtAddress->setText("/plant/pipe.mdb");
    w.cmdApply->click();
    // Something else changes the file between the two presses; Ok must
    // write the entry again.
    writeFile("Korvalt.ini", "[db_address]\ndbaddress=/elsewhere.mdb\n");
    w.cmdok->click();
    EXPECT_EQ(stored(), "[db_address]\ndbaddress=/plant/pipe.mdb\n");
    EXPECT_EQ(fake.endCalls, 1);
    EXPECT_FALSE(frmLocateDataSlot.loaded());
}

TEST_F(LocateWindowTest, OkKeepsTheRestOfTheSettingsFile) {
    writeFile("Korvalt.ini", "; plant settings\n[Other]\nkey=1\n[DB_ADDRESS]\nDBADDRESS=old\n");
    window().txtAddress->setText("new.mdb");
    window().cmdok->click();
    EXPECT_EQ(stored(), "; plant settings\n[Other]\nkey=1\n[DB_ADDRESS]\nDBADDRESS=new.mdb\n");
}

TEST_F(LocateWindowTest, CancelWritesNothingAndReopensEmpty) {
    window().txtAddress->setText("/plant/pipe.mdb");
    window().cmdCancel->click();
    EXPECT_FALSE(frmLocateDataSlot.loaded());
    EXPECT_EQ(stored(), "<none>");
    flushDeletes();
    EXPECT_TRUE(window().txtAddress->text().isEmpty());
    EXPECT_TRUE(window().cmdCancel->isEnabled());
}

TEST_F(LocateWindowTest, BrowseFillsTheAddressAndCancellingKeepsIt) {
    frmLocateData& w = window();
    w.txtAddress->setText("typed by hand");
    w.cmdApply->setEnabled(false);
    w.cmdDatabaseBrowse->click(); // cancelled
    EXPECT_EQ(w.txtAddress->text(), "typed by hand");
    EXPECT_FALSE(w.cmdApply->isEnabled());
    ASSERT_EQ(fake.openFilters.size(), 1u);
    EXPECT_EQ(fake.openFilters[0], "All Database Files (*.mdb)|*.mdb|");

    fake.openFiles.push_back("/plant/area 2/pipe.mdb");
    w.cmdDatabaseBrowse->click();
    EXPECT_EQ(w.txtAddress->text(), "/plant/area 2/pipe.mdb");
    EXPECT_TRUE(w.cmdApply->isEnabled());
}

TEST_F(LocateWindowTest, UnwritableSettingsFolderIsReported) {
    gsSettingsFolder = tempPath("no/such/folder");
    window().txtAddress->setText("/plant/pipe.mdb");
    window().cmdApply->click();
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text.rfind("Error Number 75 in routine LetIniString \r\n\r\n", 0),
              0u);
    EXPECT_EQ(fake.messages[0].title, "Korvalt Error");
    EXPECT_EQ(fake.messages[0].icon, MsgIcon::Critical);
}

} // namespace
} // namespace korvalt::testing
