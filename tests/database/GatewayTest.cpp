#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"
#include "startup/frmSplash.h"
#include "support/ProcessFixture.h"
#include "ui/frmTaviDatabase.h"

#include <QLabel>

namespace korvalt::testing {
namespace {

class GatewayTest : public ProcessFixture {
protected:
    void SetUp() override {
        ProcessFixture::SetUp();
        gsSupportFooter = BuildSupportFooter();
        databasePath = makePipeDatabase("pipe.db", 4);
        gDatabase = OpenDatabase(databasePath);
        gDatabaseOpen = true;
        gateway = std::make_shared<clsDatabaseControl>();
        gDatabaseControl = gateway;
    }
    long countRows(std::string sql) {
        auto records = gateway->GetRecordset(sql);
        long count = 0;
        for (; records && !records->isEof(); records->moveNext())
            ++count;
        return count;
    }

    std::string databasePath;
    std::shared_ptr<clsDatabaseControl> gateway;
};

TEST_F(GatewayTest, RecordsetComesBackPositionedOnTheFirstRecord) {
    std::string sql = "SELECT * FROM PIPE WHERE UNIQUE_ID = 2";
    auto records = gateway->GetRecordset(sql);
    ASSERT_TRUE(records);
    EXPECT_NE(records->recordCount(), 0);
    ASSERT_FALSE(records->isEof());
    EXPECT_EQ(records->fields("tag").asText(), "T-2");
    records->moveNext();
    EXPECT_TRUE(records->isEof());
    EXPECT_TRUE(gTableFound);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(GatewayTest, RejectedQueryIsReportedOnceAndGivesNoRecordset) {
    std::string sql = "SELECT * FROM PIPE WHERE Tag LIKE 'O'BRIEN-1*'";
    EXPECT_EQ(gateway->GetRecordset(sql), nullptr);
    ASSERT_EQ(fake.messages.size(), 1u);
    const auto& message = fake.messages[0];
    EXPECT_EQ(message.title, "Korvalt");
    EXPECT_EQ(message.icon, MsgIcon::Critical);
    EXPECT_EQ(message.buttons, MsgButtons::Ok);
    EXPECT_EQ(message.text.rfind("Error Number ", 0), 0u);
    EXPECT_NE(message.text.find(" in routine GetRecordSet \r\n\r\n"), std::string::npos);
    EXPECT_EQ(message.text.substr(message.text.size() - gsSupportFooter.size()), gsSupportFooter);
    EXPECT_TRUE(fake.modals.empty());
    EXPECT_TRUE(gTableFound);
    EXPECT_TRUE(gDatabaseOpen);
}

TEST_F(GatewayTest, MissingTableClosesTheSplashAndAsksForTheFile) {
    frmSplashSlot.get();
    std::string sql = "SELECT DISTINCT DWG_NAME FROM Valve ORDER BY DWG_NAME ASC";
    EXPECT_EQ(gateway->GetRecordset(sql), nullptr);
    EXPECT_FALSE(gTableFound);
    EXPECT_FALSE(gDatabaseOpen);
    EXPECT_FALSE(frmSplashSlot.loaded());
    EXPECT_TRUE(fake.messages.empty());
    ASSERT_EQ(fake.modals.size(), 1u);
    EXPECT_EQ(fake.modals[0].windowName, "frmLocateData");
    EXPECT_NE(fake.modals[0].label.find("recorded incorrectly"), std::string::npos);

    // The next successful request sets the flag again.
    EXPECT_EQ(countRows("SELECT * FROM PIPE"), 4);
    EXPECT_TRUE(gTableFound);
}

TEST_F(GatewayTest, DeleteAsksFirstAndCancelChangesNothing) {
    frmTaviDatabaseSlot.get().lblFileName->setText("AREA1.dwg");
    fake.msgAnswers.push_back(MsgAnswer::Cancel);
    std::string sql = "DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"";
    gateway->DeleteRecord(sql);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text,
              "Are you sure you want to delete all Records for AREA1.dwg from this Database");
    EXPECT_EQ(fake.messages[0].title, "Confirm Delete");
    EXPECT_EQ(fake.messages[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(fake.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(countRows("SELECT * FROM PIPE"), 4);

    gateway->DeleteRecord(sql); // answered OK
    EXPECT_EQ(countRows("SELECT * FROM PIPE"), 2);
    EXPECT_EQ(countRows("SELECT * FROM PIPE WHERE DWG_NAME = 'area1.DWG'"), 0);
}

TEST_F(GatewayTest, FailedDeleteIsReportedWithTheSupportFooter) {
    frmTaviDatabaseSlot.get().lblFileName->setText("AREA3 \"north\".dwg");
    std::string sql = "DELETE FROM pipe WHERE DWG_NAME = \"AREA3 \"north\".dwg\"";
    gateway->DeleteRecord(sql);
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_NE(fake.messages[1].text.find(" in routine DeleteRecord \r\n\r\n"), std::string::npos);
    EXPECT_EQ(fake.messages[1].title, "Korvalt");
    EXPECT_EQ(countRows("SELECT * FROM PIPE"), 4);
}

} // namespace
} // namespace korvalt::testing
