#include "database/Database.h"
#include "startup/Module1.h"
#include "support/EngineCases.h"
#include "support/PgServer.h"
#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QLineEdit>
#include <QPushButton>

namespace korvalt::testing {
namespace {

// The drawing of every record, in UNIQUE_ID order.
std::vector<std::string> drawings(const std::string& address) {
    return test_support::readField(*OpenDatabase(address), "SELECT * FROM Pipe ORDER BY UNIQUE_ID",
                                   "DWG_NAME");
}

class ServerWindowTest : public ReportWindowFixture {
protected:
    // What the window showed after each step of a script on `address`: the
    // rows (the order of ties, which the statements leave open, made alike),
    // caption, title and messages.
    std::vector<Rows> observe(const std::string& address) {
        ResetProcessState();
        flushDeletes();
        SetToolkit(&fake);
        start(address);
        std::vector<Rows> steps;
        const auto press = [&](QPushButton* button, const std::vector<std::size_t>& keys) {
            const std::size_t seen = fake.messages.size();
            button->click();
            steps.push_back(tiesSorted(rows(window->lstvResults->columnCount()), keys));
            steps.back().push_back({resultsCaption(), sListTitle});
            steps.back().push_back(messageTexts(seen));
        };
        // Wildcards and other letter case; % means itself.
        for (const FilterTexts& filters : {FilterTexts{.drawing = "area?.DWG", .spec = "cs150"},
                                           {.line = "2\"-P-1003-cs150"},
                                           {.longDesc = "Gate%*"},
                                           {}}) {
            setFilters(filters);
            press(window->cmdSearchAll, {0, 1, 5});
        }
        press(window->CmdFindDuplicatetags, {1, 3});
        // The apostrophe goes inside the delete's double quotes.
        press(window->cmdListUnique, {});
        clickRow(positionOf("O'Neil-4.dwg"));
        fake.msgAnswers.push_back(MsgAnswer::Ok);
        press(window->cmdDeleteRecords, {});
        press(window->cmdSearchAll, {0, 1, 5});
        return steps;
    }
};

// The same script on the SQLite copy and on a copy on the server, which hold
// the same records: every row, order (as far as the statement settles it),
// caption and message is the same, the delete takes the same records, and
// the password shows nowhere.
TEST_F(ServerWindowTest, ShowsWhatTheFileShowsAndDeletesOnTheServer) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const test_support::PrivateCopy copy(*server, "korvalt_window");
    ASSERT_GT(recordsOf(databasePath, "O'Neil-4.dwg"), 0);
    const std::vector<Rows> onFile = observe(databasePath);
    EXPECT_EQ(recordsOf(databasePath, "O'Neil-4.dwg"), 0);
    EXPECT_GT(onFile.at(3).size(), 30u);
    EXPECT_EQ(observe(copy.connection() + ";PWD=secret"), onFile);
    EXPECT_EQ(drawings(copy.connection()), drawings(databasePath));
    EXPECT_EQ(window->txtDatabase->text().toStdString(), copy.connection() + ";PWD=***");
    for (const auto& message : fake.messages)
        EXPECT_EQ(message.text.find("secret"), std::string::npos) << message.text;
}

} // namespace
} // namespace korvalt::testing
