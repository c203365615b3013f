#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "startup/frmSplash.h"
#include "support/ProcessFixture.h"
#include "ui/frmTaviDatabase.h"

#include "PipeCsvReader.h"
#include "SampleDatabaseBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

#include <filesystem>

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

TEST_F(StartupTest, ShippedSampleOpensWithoutAMessage) {
    const std::string database = tempPath("sample.db");
    SampleDatabaseBuilder::build(
        PipeCsvReader::parse(readFile(KORVALT_SAMPLE_DIR "/pipe-sample.csv")), database);
    writeLocateFile(settingsFolder);
    writeAddress(database);

    Main();
    tickSplash();
    ASSERT_TRUE(frmTaviDatabaseSlot.loaded());
    EXPECT_TRUE(frmTaviDatabaseSlot.get().isVisible());
    for (const auto& message : fake.messages)
        ADD_FAILURE() << message.title << ": " << message.text;
}

// The locate file's folder, for a program whose own folder may not be
// writable; a folder that does not exist stands for one that cannot be
// written to, since permissions do not bind every user (root).
TEST_F(StartupTest, LocateFileIsBesideTheProgramUnlessItsFolderCannotBeWritten) {
    namespace fs = std::filesystem;
    const std::string program = dir.path().toStdString();
    const std::string user = tempPath("config/korvalt");
    const std::string userLocate = user + "/Korvalt_Locate.ini";

    // Writable, or no user folder known: beside the program, as always.
    EXPECT_EQ(LocateFileFolder(program, user), program);
    EXPECT_EQ(LocateFileFolder(tempPath("missing"), ""), tempPath("missing"));
    EXPECT_FALSE(fs::exists(tempPath("config")));

    // Not writable: the user's folder, made and given a locate file naming it.
    EXPECT_EQ(LocateFileFolder(tempPath("missing"), user), user);
    EXPECT_EQ(readFile(userLocate), "[Korvalt_Address]\nKorvaltAddress=" + user + "\n");

    // A locate file already there is the user's own and stays as it is.
    writeFile("config/korvalt/Korvalt_Locate.ini", "[Korvalt_Address]\nKorvaltAddress=/srv\n");
    EXPECT_EQ(LocateFileFolder(tempPath("missing"), user), user);
    EXPECT_EQ(readFile(userLocate), "[Korvalt_Address]\nKorvaltAddress=/srv\n");

    // A folder the user may not write to, where permissions bind.
    const QString locked = QString::fromStdString(tempPath("locked"));
    QDir().mkpath(locked);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (!QFileInfo(locked).isWritable()) {
        EXPECT_EQ(LocateFileFolder(locked.toStdString(), user), user);
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// First start of an installed program: no settings yet, the location window
// asks for the database, and its Ok keeps the address in the user's folder.
TEST_F(StartupTest, InstalledProgramKeepsItsSettingsInTheUsersFolder) {
    struct InstalledToolkit : FakeToolkit {
        std::string user;
        std::string userSettingsFolder() const override { return user; }
    } installed;
    installed.folder = tempPath("usr/bin");
    installed.user = tempPath("home/.config/korvalt");
    const std::string database = makePipeDatabase("pipe.db");
    installed.modalScripts.push_back([&](QWidget& window) {
        auto& locate = dynamic_cast<frmLocateData&>(window);
        locate.txtAddress->setText(QString::fromStdString(database));
        locate.cmdok->click();
    });
    SetToolkit(&installed);
    const auto restore = qScopeGuard([this] { SetToolkit(&fake); });

    Main();
    EXPECT_EQ(gsSettingsFolder, installed.user);
    ASSERT_EQ(installed.modals.size(), 1u);
    EXPECT_EQ(installed.modals[0].label, kBrowseMessage);
    EXPECT_EQ(readFile(installed.user + "/Korvalt.ini"),
              "[db_address]\ndbaddress=" + database + "\n");

    // The next start opens that database.
    ResetProcessState();
    installed.endCalls = 0;
    Main();
    EXPECT_TRUE(gDatabaseOpen);
    EXPECT_EQ(installed.modals.size(), 1u);
}

} // namespace
} // namespace korvalt::testing
