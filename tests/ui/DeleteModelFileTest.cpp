#include "database/Database.h"
#include "startup/Module1.h"
#include "support/EngineCases.h"
#include "support/RecordingDatabase.h"
#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace korvalt::testing {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kSingular = "Delete Model File Record";
const std::string kNullTagReport = "Error Number 94 in routine FillTagList ";
const std::string kNullLineReport = "Error Number 94 in routine FillLineNumList ";

Strings without(Strings values, const std::string& gone) {
    values.erase(std::remove(values.begin(), values.end(), gone), values.end());
    return values;
}

Strings sorted(Strings values) {
    std::sort(values.begin(), values.end());
    return values;
}

// The drawing filter list: "All", then the names in text order.
Strings offering(const Strings& drawings) {
    Strings entries{"All"};
    entries.insert(entries.end(), drawings.begin(), drawings.end());
    return entries;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class DeleteModelFileTest : public ReportWindowFixture {
protected:
    // Lists the model files and clicks the row of `drawing`.
    void chooseModelFile(const std::string& drawing) {
        window->cmdListUnique->click();
        const int position = positionOf(drawing);
        ASSERT_GE(position, 0) << drawing;
        clickRow(position);
        ASSERT_TRUE(window->cmdDeleteRecords->isEnabled());
    }
    // Deletes the chosen model file, answering the confirmation with
    // `answer`; returns the messages shown meanwhile.
    std::vector<FakeToolkit::Message> deleteChosen(MsgAnswer answer) {
        const std::size_t before = fake.messages.size();
        fake.msgAnswers.push_back(answer);
        window->cmdDeleteRecords->click();
        return {fake.messages.begin() + static_cast<std::ptrdiff_t>(before), fake.messages.end()};
    }
    static void expectConfirmation(const FakeToolkit::Message& message,
                                   const std::string& drawing) {
        EXPECT_EQ(message.text, "Are you sure you want to delete all Records for " + drawing +
                                    " from this Database");
        EXPECT_EQ(message.title, "Confirm Delete");
        EXPECT_EQ(message.buttons, MsgButtons::OkCancel);
        EXPECT_EQ(message.icon, MsgIcon::None);
    }
    // The state every delete ends in, confirmed or not.
    void expectModelFilesShownAfresh(const Strings& drawings) {
        EXPECT_EQ(sorted(column(0)), sorted(drawings));
        EXPECT_EQ(resultsCaption(), "Results = " + std::to_string(drawings.size()) + " Items");
        EXPECT_EQ(iLayoutCode, 22);
        EXPECT_FALSE(window->cmdDeleteRecords->isEnabled());
        EXPECT_EQ(window->cmdDeleteRecords->text().toStdString(), kSingular);
        EXPECT_EQ(sListTitle, "List of Drawing Numbers in Database");
        EXPECT_EQ(fake.busyDepth, 0);
    }
    // The filter lists, with a typed criterion in one of them that only a
    // refill would put back to "All".
    Strings drawingsOffered() const { return entries(window->cmbDrawName); }
    void typeIntoTheTagList() { window->cmbTag->setEditText("P-1"); }
};

const Strings kAllDrawings = {"",          "AREA1.dwg", "AREA2.dwg",   "AREA3 \"north\".dwg",
                              "AREA4.dwg", "AREA5.dwg", "O'Neil-4.dwg"};

TEST_F(DeleteModelFileTest, OkDeletesEveryRecordOfTheModelFileAndRefillsTheLists) {
    start();
    auto recorder = std::make_unique<RecordingDatabase>(std::move(gDatabase));
    RecordingDatabase& sent = *recorder;
    gDatabase = std::move(recorder);

    const struct {
        std::string drawing;
        int records;
    } cases[] = {
        {"AREA1.dwg", 12},
        {"O'Neil-4.dwg", 1}, // the apostrophe sits inside double quotes
        {"", 1},             // the model file without a name
    };
    Strings remaining = kAllDrawings;
    int total = recordTotal(databasePath);
    ASSERT_EQ(total, 40);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drawing);
        ASSERT_EQ(recordsOf(databasePath, c.drawing), c.records);
        chooseModelFile(c.drawing);
        typeIntoTheTagList();
        sent.executed.clear();
        const auto shown = deleteChosen(MsgAnswer::Ok);

        // Only the question: the refill found nothing to complain about
        // (the Null tag and line number were records of AREA1.dwg).
        ASSERT_EQ(shown.size(), 1u);
        expectConfirmation(shown[0], c.drawing);
        EXPECT_EQ(sent.executed,
                  Strings{"DELETE FROM pipe WHERE DWG_NAME = \"" + c.drawing + "\""});
        EXPECT_EQ(window->lblFileName->text().toStdString(), c.drawing);

        total -= c.records;
        EXPECT_EQ(recordsOf(databasePath, c.drawing), 0);
        EXPECT_EQ(recordTotal(databasePath), total);

        remaining = without(remaining, c.drawing);
        EXPECT_EQ(drawingsOffered(), offering(remaining));
        EXPECT_EQ(window->cmbTag->currentText(), "All");
        EXPECT_EQ(window->cmbDrawName->currentText(), "All");
        expectModelFilesShownAfresh(remaining);
    }
}

TEST_F(DeleteModelFileTest, CancelChangesNothingAndTheListCanArmTheButtonAgain) {
    start();
    const Strings offered = drawingsOffered();
    const Strings tags = entries(window->cmbTag);
    chooseModelFile("AREA2.dwg");
    typeIntoTheTagList();
    const auto shown = deleteChosen(MsgAnswer::Cancel);

    ASSERT_EQ(shown.size(), 1u);
    expectConfirmation(shown[0], "AREA2.dwg");
    EXPECT_EQ(recordsOf(databasePath, "AREA2.dwg"), 12);
    EXPECT_EQ(recordTotal(databasePath), 40);
    // Not refilled: the typed criterion is still there.
    EXPECT_EQ(window->cmbTag->currentText(), "P-1");
    EXPECT_EQ(drawingsOffered(), offered);
    EXPECT_EQ(entries(window->cmbTag), tags);
    EXPECT_EQ(window->lblFileName->text(), "AREA2.dwg");
    expectModelFilesShownAfresh(kAllDrawings);

    clickRow(positionOf("AREA5.dwg"));
    EXPECT_TRUE(window->cmdDeleteRecords->isEnabled());
}

TEST_F(DeleteModelFileTest, WithoutASelectedRowNothingIsDeleted) {
    start();
    chooseModelFile("AREA4.dwg");
    window->lstvResults->clearSelection();
    const auto shown = deleteChosen(MsgAnswer::Ok);

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(shown[0].buttons, MsgButtons::Ok);
    EXPECT_NE(shown[0].text.find("nothing was deleted"), std::string::npos) << shown[0].text;
    EXPECT_EQ(recordTotal(databasePath), 40);
    EXPECT_EQ(drawingsOffered(), offering(kAllDrawings));
    EXPECT_EQ(fake.busyDepth, 0);
}

TEST_F(DeleteModelFileTest, DoubleQuoteInTheNameIsReportedAndDeletesNothing) {
    start();
    const std::string drawing = "AREA3 \"north\".dwg";
    chooseModelFile(drawing);
    typeIntoTheTagList();
    const auto shown = deleteChosen(MsgAnswer::Ok);

    ASSERT_EQ(shown.size(), 4u);
    expectConfirmation(shown[0], drawing);
    EXPECT_TRUE(startsWith(shown[1].text, "Error Number ")) << shown[1].text;
    EXPECT_NE(shown[1].text.find(" in routine DeleteRecord \r\n\r\n"), std::string::npos);
    EXPECT_EQ(shown[1].title, "Korvalt");
    EXPECT_EQ(shown[1].icon, MsgIcon::Critical);
    EXPECT_TRUE(shown[1].text.ends_with(gsSupportFooter));
    // The lists are refilled all the same, Null records included.
    EXPECT_TRUE(startsWith(shown[2].text, kNullTagReport));
    EXPECT_TRUE(startsWith(shown[3].text, kNullLineReport));
    EXPECT_EQ(window->cmbTag->currentText(), "All");

    EXPECT_EQ(recordsOf(databasePath, drawing), 2);
    EXPECT_EQ(recordTotal(databasePath), 40);
    EXPECT_EQ(drawingsOffered(), offering(kAllDrawings));
    expectModelFilesShownAfresh(kAllDrawings);
}

TEST_F(DeleteModelFileTest, FailureHalfwayLeavesEveryRecordInPlace) {
    // The third record of AREA1.dwg refuses to go.
    execSql(databasePath, "CREATE TRIGGER stop BEFORE DELETE ON Pipe WHEN OLD.UNIQUE_ID = 3 "
                          "BEGIN SELECT RAISE(ABORT, 'stopped'); END");
    start();
    chooseModelFile("AREA1.dwg");
    const auto shown = deleteChosen(MsgAnswer::Ok);

    ASSERT_GE(shown.size(), 2u);
    expectConfirmation(shown[0], "AREA1.dwg");
    EXPECT_NE(shown[1].text.find(" in routine DeleteRecord \r\n\r\n"), std::string::npos);
    EXPECT_NE(shown[1].text.find("stopped"), std::string::npos) << shown[1].text;
    EXPECT_EQ(shown[1].title, "Korvalt");
    EXPECT_EQ(recordsOf(databasePath, "AREA1.dwg"), 12);
    EXPECT_EQ(recordTotal(databasePath), 40);
    EXPECT_EQ(drawingsOffered(), offering(kAllDrawings));
    expectModelFilesShownAfresh(kAllDrawings);
}

TEST_F(DeleteModelFileTest, ModelFileGoneMeanwhileStillRefillsTheLists) {
    start();
    chooseModelFile("AREA5.dwg");
    // Someone else removes it before the user confirms.
    execSql(databasePath, "DELETE FROM Pipe WHERE DWG_NAME = 'AREA5.dwg'");
    const auto shown = deleteChosen(MsgAnswer::Ok);

    ASSERT_EQ(shown.size(), 3u); // the question, then the refill's Null reports
    expectConfirmation(shown[0], "AREA5.dwg");
    EXPECT_TRUE(startsWith(shown[1].text, kNullTagReport));
    EXPECT_EQ(recordTotal(databasePath), 33);
    EXPECT_EQ(drawingsOffered(), offering(without(kAllDrawings, "AREA5.dwg")));
    expectModelFilesShownAfresh(without(kAllDrawings, "AREA5.dwg"));
}

TEST_F(DeleteModelFileTest, AccessFileLosesTheModelFileAndKeepsTheOldFileBeside) {
    const std::string copy = tempPath("pipe-small.mdb");
    std::filesystem::copy_file(KORVALT_FIXTURES_DIR "/pipe-small.mdb", copy);
    const std::string bytes = readFile(copy);
    start(copy);
    chooseModelFile("AREA1.dwg");
    typeIntoTheTagList();
    const auto shown = deleteChosen(MsgAnswer::Ok);

    // Only the question: the Null tag and line number went with AREA1.dwg.
    ASSERT_EQ(shown.size(), 1u);
    expectConfirmation(shown[0], "AREA1.dwg");
    EXPECT_EQ(window->cmbTag->currentText(), "All");
    EXPECT_EQ(drawingsOffered(), offering(without(kAllDrawings, "AREA1.dwg")));
    expectModelFilesShownAfresh(without(kAllDrawings, "AREA1.dwg"));
    const auto reread = OpenDatabase(copy);
    EXPECT_TRUE(test_support::readField(*reread, "SELECT * FROM Pipe WHERE DWG_NAME = 'AREA1.dwg'",
                                        "UNIQUE_ID")
                    .empty());
    EXPECT_EQ(test_support::readField(*reread, "SELECT * FROM Pipe", "UNIQUE_ID").size(), 28u);
    EXPECT_EQ(readFile(copy + ".bak"), bytes);
}

TEST_F(DeleteModelFileTest, AccessFileOpenInAccessRefusesTheDeleteAndStaysAsItWas) {
    const std::string copy = tempPath("pipe-small.mdb");
    std::filesystem::copy_file(KORVALT_FIXTURES_DIR "/pipe-small.mdb", copy);
    const std::string bytes = readFile(copy);
    start(copy);
    writeFile("PIPE-SMALL.LDB", "DESIGN-PC-4");
    chooseModelFile("AREA1.dwg");
    typeIntoTheTagList();
    const auto shown = deleteChosen(MsgAnswer::Ok);

    ASSERT_EQ(shown.size(), 4u);
    expectConfirmation(shown[0], "AREA1.dwg");
    EXPECT_TRUE(startsWith(shown[1].text, "Error Number 3045 in routine DeleteRecord \r\n\r\n"))
        << shown[1].text;
    EXPECT_NE(shown[1].text.find("PIPE-SMALL.LDB"), std::string::npos) << shown[1].text;
    EXPECT_EQ(shown[1].title, "Korvalt");
    EXPECT_EQ(shown[1].icon, MsgIcon::Critical);
    EXPECT_TRUE(startsWith(shown[2].text, kNullTagReport));
    EXPECT_TRUE(startsWith(shown[3].text, kNullLineReport));
    EXPECT_EQ(window->cmbTag->currentText(), "All");

    EXPECT_EQ(readFile(copy), bytes);
    EXPECT_EQ(drawingsOffered(), offering(kAllDrawings));
    expectModelFilesShownAfresh(kAllDrawings);
    window->cmdSearchAll->click();
    EXPECT_EQ(window->lstvResults->count(), 40);
}

} // namespace
} // namespace korvalt::testing
