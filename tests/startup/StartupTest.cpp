#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "startup/frmSplash.h"
#include "support/ProcessFixture.h"
#include "ui/frmTaviDatabase.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace korvalt::testing {
namespace {

constexpr const char* kBrowseMessage =
    "Please browse to the correct location of the database file.";
constexpr const char* kWrongAddress =
    "The location or name of the database file is recorded incorrectly. Please browse to the "
    "correct location of the database file.";

class StartupTest : public ProcessFixture {
protected:
    void SetUp() override {
        ProcessFixture::SetUp();
        fake.folder = dir.path().toStdString();
        settingsFolder = tempPath("settings");
        QDir().mkpath(QString::fromStdString(settingsFolder));
    }

    void writeLocateFile(const std::string& folder) const {
        writeFile("Korvalt_Locate.ini", "[Korvalt_Address]\nKorvaltAddress=" + folder + "\n");
    }
    void writeAddress(const std::string& address) const {
        writeFile("settings/Korvalt.ini", "[db_address]\ndbaddress=" + address + "\n");
    }
    static void tickSplash() {
        ASSERT_TRUE(frmSplashSlot.loaded());
        frmSplashSlot.get().Timer1_Timer();
    }

    std::string settingsFolder;
};

TEST_F(StartupTest, FootersNameTheSupportAddressOnceEach) {
    for (const std::string& footer : {BuildSupportFooter(), BuildContactFooter()}) {
        const auto first = footer.find(kSupportAddress);
        ASSERT_NE(first, std::string::npos);
        EXPECT_EQ(footer.find(kSupportAddress, first + 1), std::string::npos);
    }
    EXPECT_EQ(BuildSupportFooter(), std::string("\r\n\r\nPlease contact our IT department by email "
                                                "at ") +
                                        kSupportAddress +
                                        " \r\nwith the details of this message.\r\n\r\nThank You");
    EXPECT_EQ(BuildContactFooter(), std::string("\r\n\r\nPlease contact us by email at ") +
                                        kSupportAddress +
                                        " \r\n\r\nwith the details of this message.\r\n\r\nThank "
                                        "You.");
}

TEST_F(StartupTest, ValidDatabaseOpensMainWindowAfterTheSplash) {
    const std::string database = makePipeDatabase("pipe.db");
    writeLocateFile(settingsFolder);
    writeAddress(database);

    Main();
    EXPECT_TRUE(gDatabaseOpen);
    EXPECT_TRUE(fake.modals.empty());
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(fake.endCalls, 0);
    EXPECT_EQ(gsSettingsFolder, settingsFolder);
    EXPECT_EQ(iLayoutCode, 1);
    EXPECT_TRUE(gTableFound);
    ASSERT_TRUE(frmSplashSlot.loaded());
    EXPECT_EQ(frmSplashSlot.get().Timer1->interval(), 1500);
    EXPECT_TRUE(frmSplashSlot.get().Timer1->isSingleShot());
    EXPECT_TRUE(frmSplashSlot.get().Timer1->isActive());
    EXPECT_FALSE(gsContactFooter.empty());
    EXPECT_FALSE(frmTaviDatabaseSlot.loaded());

    tickSplash();
    EXPECT_FALSE(frmSplashSlot.loaded());
    ASSERT_TRUE(frmTaviDatabaseSlot.loaded());
    frmTaviDatabase& main = frmTaviDatabaseSlot.get();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.windowTitle().toStdString(), "Korvalt Ver. 2.1");
    EXPECT_EQ(main.txtDatabase->text().toStdString(), database);
}

TEST_F(StartupTest, MissingDatabaseShowsLocationWindowThenEnds) {
    writeLocateFile(settingsFolder);
    writeAddress(tempPath("gone.mdb"));

    Main();
    ASSERT_EQ(fake.modals.size(), 1u);
    EXPECT_EQ(fake.modals[0].windowName, "frmLocateData");
    EXPECT_EQ(fake.modals[0].label, kWrongAddress);
    EXPECT_EQ(fake.endCalls, 1);
    EXPECT_FALSE(gDatabaseOpen);
    EXPECT_TRUE(fake.messages.empty());

    // The splash closes on its tick and nothing else is shown.
    tickSplash();
    EXPECT_FALSE(frmSplashSlot.loaded());
    EXPECT_FALSE(frmTaviDatabaseSlot.loaded());
}

TEST_F(StartupTest, SplashTickDuringTheLocationWindowShowsNoMainWindow) {
    writeLocateFile(settingsFolder);
    writeAddress(tempPath("gone.mdb"));
    bool sawOpenFlag = true;
    fake.modalScripts.push_back([&](QWidget&) {
        sawOpenFlag = gDatabaseOpen;
        frmSplashSlot.get().Timer1_Timer();
    });

    Main();
    EXPECT_FALSE(sawOpenFlag);
    EXPECT_FALSE(frmSplashSlot.loaded());
    EXPECT_FALSE(frmTaviDatabaseSlot.loaded());
    EXPECT_EQ(fake.endCalls, 1);
}

TEST_F(StartupTest, NoLocateFileAsksTwiceThenEnds) {
    Main();
    EXPECT_EQ(gsSettingsFolder, "Unknown");
    ASSERT_EQ(fake.modals.size(), 2u);
    EXPECT_EQ(fake.modals[0].label, kBrowseMessage);
    EXPECT_EQ(fake.modals[1].label, kWrongAddress);
    EXPECT_EQ(gDatabaseControl->dataAddress(), "Unknown");
    EXPECT_EQ(fake.endCalls, 1);
    EXPECT_FALSE(gDatabaseOpen);
}

TEST_F(StartupTest, EmptyAddressSkipsTheFirstQuestionButFailsToOpen) {
    writeLocateFile(settingsFolder);
    writeAddress("");

    Main();
    ASSERT_EQ(fake.modals.size(), 1u);
    EXPECT_EQ(fake.modals[0].label, kWrongAddress);
    EXPECT_EQ(gDatabaseControl->dataAddress(), "");
    EXPECT_EQ(fake.endCalls, 1);
}

TEST_F(StartupTest, StoredUnknownCountsAsMissingButLowerCaseDoesNot) {
    writeLocateFile(settingsFolder);
    writeAddress("Unknown");
    Main();
    ASSERT_EQ(fake.modals.size(), 2u);
    EXPECT_EQ(fake.modals[0].label, kBrowseMessage);

    ResetProcessState();
    fake = FakeToolkit();
    fake.folder = dir.path().toStdString();
    writeAddress("unknown");
    Main();
    ASSERT_EQ(fake.modals.size(), 1u);
    EXPECT_EQ(fake.modals[0].label, kWrongAddress);
}

TEST_F(StartupTest, AddressConfirmedDuringStartUpIsStoredAndEndsAtOnce) {
    writeLocateFile(settingsFolder);
    const std::string chosen = tempPath("new.mdb");
    fake.modalScripts.push_back([&](QWidget& window) {
        auto& locate = dynamic_cast<frmLocateData&>(window);
        locate.txtAddress->setText(QString::fromStdString("  " + chosen + " "));
        locate.cmdok->click();
    });

    Main();
    // Nothing after the confirmation runs: no second question, no open.
    ASSERT_EQ(fake.modals.size(), 1u);
    EXPECT_EQ(fake.endCalls, 1);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Korvalt will now quit. Restart Korvalt to continue.");
    EXPECT_EQ(fake.messages[0].title, "Korvalt Explanation");
    EXPECT_EQ(fake.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(readFile(settingsFolder + "/Korvalt.ini"),
              "[db_address]\ndbaddress=" + chosen + "\n");
    EXPECT_FALSE(frmSplashSlot.loaded());
    EXPECT_FALSE(frmLocateDataSlot.loaded());
    EXPECT_FALSE(gDatabaseControl);
}

TEST_F(StartupTest, FileThatIsNoDatabaseIsReportedAndEnds) {
    writeLocateFile(settingsFolder);
    writeAddress(writeFile("notes.mdb", "these are not the records you are looking for\n"));

    Main();
    EXPECT_TRUE(fake.modals.empty());
    ASSERT_EQ(fake.messages.size(), 1u);
    const auto& message = fake.messages[0];
    EXPECT_EQ(message.title, "Cannot Connect to Database");
    EXPECT_EQ(message.icon, MsgIcon::Critical);
    EXPECT_EQ(message.text.rfind("Error Number ", 0), 0u);
    EXPECT_NE(message.text.find(" in routine db_connect \r\n\r\n"), std::string::npos);
    EXPECT_EQ(message.text.substr(message.text.size() - gsSupportFooter.size()), gsSupportFooter);
    EXPECT_EQ(fake.endCalls, 1);
    EXPECT_FALSE(gDatabaseOpen);
}

} // namespace
} // namespace korvalt::testing
