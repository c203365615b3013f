#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "startup/frmSplash.h"
#include "support/EngineCases.h"
#include "support/ProcessFixture.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

namespace korvalt::testing {
namespace {

constexpr const char* kBrowse = "Please browse to the correct location of the database file.";
constexpr const char* kWrong = "The location or name of the database file is recorded "
                               "incorrectly. Please browse to the correct location of the "
                               "database file.";

class StartupTest : public ProcessFixture {
protected:
    // Fresh process state, the locate file naming `settings` (when not empty)
    // and a settings file there holding `address` (when not "-").
    void start(const std::string& settings, const std::string& address,
               FakeToolkit::ModalScript script = {}) {
        reset();
        if (script)
            fake.modalScripts.push_back(script);
        fake.folder = dir.path().toStdString();
        std::filesystem::remove(tempPath("Korvalt_Locate.ini"));
        if (!settings.empty()) {
            QDir().mkpath(QString::fromStdString(settings));
            writeFile("Korvalt_Locate.ini", "[Korvalt_Address]\nKorvaltAddress=" + settings + "\n");
            std::filesystem::remove(settings + "/Korvalt.ini");
            if (address != "-")
                writeFile(settings.substr(dir.path().size() + 1) + "/Korvalt.ini",
                          "[db_address]\ndbaddress=" + address + "\n");
        }
        Main();
    }
    void reset() {
        ResetProcessState();
        EXPECT_TRUE(gsSettingsFolder.empty() && gsSupportFooter.empty() && gsContactFooter.empty());
        EXPECT_FALSE(gDatabaseOpen || gTableFound || iLayoutCode || gDatabase || gIniControl ||
                     frmLocateDataSlot.loaded() || frmSplashSlot.loaded());
        flushDeletes();
        fake = FakeToolkit();
    }
    // A path inside the temporary folder exactly `length` characters long.
    std::string pathOfLength(std::size_t length, char fill) const {
        return tempPath(std::string(length - dir.path().size() - 1, fill));
    }
    // The windows shown modally (the two explanations by name), then the
    // messages' titles with their icons (1 critical, 2 exclamation, 3 information).
    std::string shown() const {
        std::string out;
        for (const auto& m : fake.modals)
            out += m.windowName + ":" +
                   (m.label == kBrowse  ? "browse"
                    : m.label == kWrong ? "wrong"
                                        : m.label) +
                   " ";
        for (const auto& m : fake.messages)
            out += m.title + "/" + std::to_string(static_cast<int>(m.icon)) + " ";
        return out;
    }
};

// Start-up through Main() on the settings it finds: the questions asked, what
// is reported, whether the program ends, and whether the main window follows
// the splash. The settings folder is read as at most 199 characters, the
// address as at most 149.
TEST_F(StartupTest, OpensOrAsksAccordingToTheSettings) {
    const std::string s = tempPath("settings"), good = makePipeDatabase("pipe.db");
    auto db = [&](std::size_t length, char fill) {
        return makePipeDatabase(pathOfLength(length, fill).substr(dir.path().size() + 1));
    };
    const std::string wrong = "frmLocateData:wrong ", both = "frmLocateData:browse " + wrong;
    const std::string cannot = "Cannot Connect to Database/1 ";
    const struct {
        const char* name;
        std::string settings, address, shown;
    } cases[] = {
        {"valid", s, good, ""},
        {"missing database", s, tempPath("gone.mdb"), wrong},
        {"no locate file", "", "", both},
        {"no settings file", s, "-", both},
        {"empty address", s, "", wrong},
        {"stored Unknown", s, "Unknown", both},
        {"stored unknown", s, "unknown", wrong},
        {"text file", s, writeFile("notes.mdb", "not records\n"), cannot},
        {"address of 148", s, db(148, 'a'), ""},
        {"address of 149", s, db(149, 'b'), ""},
        {"address of 150", s, db(150, 'c'), wrong},
        {"folder of 198", pathOfLength(198, 'f'), good, ""},
        {"folder of 199", pathOfLength(199, 'g'), good, ""},
        {"folder of 200", pathOfLength(200, 'h'), good, both},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool file = std::filesystem::is_regular_file(c.address), opens = c.shown.empty();
        const std::string before = file ? readFile(c.address) : "";
        start(c.settings, c.address);
        EXPECT_EQ(shown(), c.shown);
        EXPECT_EQ(gsSettingsFolder, c.settings.empty() ? "Unknown" : c.settings.substr(0, 199));
        ASSERT_TRUE(gDatabaseControl);
        EXPECT_EQ(gDatabaseControl->dataAddress(),
                  c.shown == both ? "Unknown" : c.address.substr(0, 149));
        if (c.shown == cannot) {
            EXPECT_THAT(fake.messages[0].text,
                        ::testing::MatchesRegex(
                            "Error Number [0-9]+ in routine db_connect \r\n\r\n.+\r\n\r\n"
                            "Please contact our IT department by email at support@korvalt"
                            "\\.example \r\nwith the details of this message\\.\r\n\r\n"
                            "Thank You"));
        }
        EXPECT_EQ(gDatabaseOpen, opens);
        EXPECT_EQ(fake.endCalls, opens ? 0 : 1);
        EXPECT_TRUE(gTableFound && iLayoutCode == 1);
        EXPECT_EQ(file ? readFile(c.address) : "", before);

        // The splash, centred (where its layout starts), hands over to the
        // main window after one tick 1.5 s later, when the database is open.
        ASSERT_TRUE(frmSplashSlot.loaded());
        frmSplash& splash = frmSplashSlot.get();
        EXPECT_EQ(layout(splash), "398,268 569x232 9;8,4 553x220 9;16,40 520x66 28b a132;16,120 "
                                  "520x40 14 a132;");
        EXPECT_TRUE(splash.Timer1->isSingleShot() && splash.Timer1->isActive());
        EXPECT_EQ(splash.Timer1->interval(), 1500);
        EXPECT_EQ(gsContactFooter, "\r\n\r\nPlease contact us by email at support@korvalt.example "
                                   "\r\n\r\nwith the details of this message.\r\n\r\nThank You.");
        EXPECT_FALSE(frmTaviDatabaseSlot.loaded());
        splash.Timer1_Timer();
        EXPECT_FALSE(frmSplashSlot.loaded());
        EXPECT_EQ(frmTaviDatabaseSlot.loaded(), opens);
        if (opens) {
            EXPECT_TRUE(frmTaviDatabaseSlot.get().isVisible());
            EXPECT_EQ(frmTaviDatabaseSlot.get().windowTitle(), "Korvalt Ver. 2.1");
            EXPECT_EQ(frmTaviDatabaseSlot.get().txtDatabase->text().toStdString(), c.address);
        }
    }
}

// The location window as start-up shows it, centred; Ok stores the trimmed
// address, says the program quits, and nothing after it runs.
TEST_F(StartupTest, AddressConfirmedInTheLocationWindowIsStoredAndEnds) {
    QRect at;
    start(tempPath("settings"), "-", [&](QWidget& window) {
        at = window.geometry();
        auto& w = dynamic_cast<frmLocateData&>(window);
        w.txtAddress->setText(QString::fromStdString("  " + tempPath("new.mdb") + " "));
        w.cmdok->click();
    });
    EXPECT_EQ(at.topLeft(), QPoint((fake.width - at.width()) / 2, (fake.height - at.height()) / 2));
    EXPECT_EQ(shown(), "frmLocateData:browse Korvalt Explanation/3 ");
    EXPECT_EQ(fake.messages[0].text, "Korvalt will now quit. Restart Korvalt to continue.");
    EXPECT_EQ(fake.endCalls, 1);
    EXPECT_EQ(readFile(tempPath("settings/Korvalt.ini")),
              "[db_address]\ndbaddress=" + tempPath("new.mdb") + "\n");
    EXPECT_FALSE(frmSplashSlot.loaded() || frmLocateDataSlot.loaded() || gDatabaseControl);
}

// What each button does with what was typed: the message shown, the settings
// file after it ("-": none), and whether the window stays and Cancel still works.
TEST_F(StartupTest, LocationWindowButtonsStoreOrRefuseTheAddress) {
    const std::string refused = "Please Enter The Address for the ", ini = tempPath("Korvalt.ini");
    const struct {
        const char* typed;
        QPushButton* frmLocateData::*button;
        std::string folder, message, shown, stored;
        bool loaded, cancel;
    } cases[] = {
        {"", &frmLocateData::cmdApply, "", refused + "Routine Database file.", "Error/2 ", "-", 1,
         1},
        {" \t ", &frmLocateData::cmdok, "", refused + "Database file.", "Error/2 ", "-", 1, 1},
        {"  /a b/p.mdb ", &frmLocateData::cmdApply, "", "", "",
         "[db_address]\ndbaddress=/a b/p.mdb\n", 1, 0},
        {"/p.mdb", &frmLocateData::cmdCancel, "", "", "", "-", 0, 1},
        {"/p.mdb", &frmLocateData::cmdApply, "/no",
         "Error Number 75 in routine LetIniString \r\n\r\nPath/File access error: the settings "
         "file '%/Korvalt.ini' could not be written.",
         "Korvalt Error/1 ", "-", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        reset();
        std::filesystem::remove(ini);
        gsSettingsFolder = dir.path().toStdString() + c.folder;
        frmLocateData& w = frmLocateDataSlot.get();
        w.txtAddress->setText(c.typed);
        (w.*c.button)->click();
        EXPECT_EQ(shown(), c.shown);
        EXPECT_EQ(fake.messages.empty() ? "" : fake.messages[0].text,
                  test_support::filledIn(c.message, {{"%", gsSettingsFolder}}));
        EXPECT_EQ(std::filesystem::exists(ini) ? readFile(ini) : "-", c.stored);
        EXPECT_EQ(frmLocateDataSlot.loaded(), c.loaded);
        EXPECT_EQ(fake.endCalls, 0);
        EXPECT_TRUE(!c.loaded || w.cmdCancel->isEnabled() == c.cancel);
        EXPECT_TRUE(!c.loaded || !c.cancel || w.txtAddress->selectedText() == w.txtAddress->text());
    }
    // Browse fills the address unless cancelled.
    frmLocateData& w = frmLocateDataSlot.get();
    w.txtAddress->setText("typed");
    w.cmdApply->setEnabled(false);
    w.cmdDatabaseBrowse->click();
    EXPECT_TRUE(w.txtAddress->text() == "typed" && !w.cmdApply->isEnabled());
    fake.openFiles.push_back("/plant/area 2/pipe.mdb");
    w.cmdDatabaseBrowse->click();
    EXPECT_TRUE(w.txtAddress->text() == "/plant/area 2/pipe.mdb" && w.cmdApply->isEnabled());
    EXPECT_EQ(fake.openFilters, std::vector<std::string>(2, "All Database Files (*.mdb)|*.mdb|"));
}

// Captions, tab order and the designed layout; in a large font every text
// still fits, no control covers another, and the window stays centred.
TEST_F(StartupTest, LocationWindowLayout) {
    frmLocateData& w = frmLocateDataSlot.get();
    w.setMessage(kBrowse);
    EXPECT_EQ(layout(w), "439,303 488x161 9;3,3 481x121 9;10,22 406x34 9 a33;9,84 112x25 9 a129;"
                         "127,84 256x25 9;394,84 80x25 9;189,132 80x25 9;293,132 80x25 9;"
                         "397,132 80x25 9;");
    QString chain = w.windowTitle() + "|" + w.Frame1->title() + "|" + w.lblDatabase->text();
    QWidget* at = w.cmdDatabaseBrowse;
    for (int i = 0; i < 5; ++i, at = at->nextInFocusChain()) {
        const auto* b = qobject_cast<QPushButton*>(at);
        chain += "|" + (b ? b->text() + "/" + b->toolTip() : at->objectName());
    }
    EXPECT_EQ(chain, "Locate CadWorx Database File|Database Location|Database Location|Browse/"
                     "Locates Database|txtAddress|Cancel/Cancel|Apply/Apply Changes|Ok/Apply "
                     "Changes and exit");
    // In a large font it grows and stays centred; no control covers another.
    QFont large = QApplication::font();
    large.setPointSize(24);
    w.setFont(large);
    w.setMessage(kWrong);
    EXPECT_EQ(w.pos(), QPoint((fake.width - w.width()) / 2, (fake.height - w.height()) / 2));
    for (const QWidget* parent : {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.Frame1)}) {
        const auto controls = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (qsizetype i = 0; i < controls.size(); ++i) {
            EXPECT_TRUE(parent->rect().contains(controls[i]->geometry())) << i;
            EXPECT_GE(controls[i]->height(), controls[i]->sizeHint().height()) << i;
            for (qsizetype j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry())) << i << j;
        }
    }
}

} // namespace
} // namespace korvalt::testing
