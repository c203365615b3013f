#include "database/Database.h"
#include "startup/Module1.h"
#include "support/PgServer.h"
#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace korvalt::testing {
namespace {

// "UNIQUE_ID|DWG_NAME" of every record, sorted.
std::vector<std::string> recordKeys(const std::string& address) {
    std::vector<std::string> keys;
    const auto db = OpenDatabase(address);
    for (auto rs = db->openRecordset("SELECT * FROM Pipe"); !rs->isEof(); rs->moveNext()) {
        const Value& drawing = rs->fields("DWG_NAME");
        keys.push_back(std::to_string(rs->fields("UNIQUE_ID").asInteger()) + "|" +
                       (drawing.isNull() ? "<Null>" : drawing.asText()));
    }
    std::sort(keys.begin(), keys.end());
    return keys;
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
        // Wildcards, other letter case, a double quote; % and _ mean themselves.
        for (const FilterTexts& filters : {FilterTexts{},
                                           {.drawing = "area?.DWG", .shortDesc = "*val*"},
                                           {.spec = "cs150", .size = "4", .tag = "[pv]-1?*"},
                                           {.line = "2\"-P-1003-cs150"},
                                           {.longDesc = "Gate%*"},
                                           {.tag = "P_1*"}}) {
            setFilters(filters);
            press(window->cmdSearchAll, {0, 1, 5});
        }
        setFilters({});
        press(window->CmdFindDuplicatetags, {1, 3});
        press(window->cmdRequireTag, {0, 1, 3});
        press(window->cmdListUniqueLine, {});
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
    EXPECT_GT(onFile.front().size(), 30u);
    EXPECT_EQ(observe(copy.connection() + ";PWD=secret"), onFile);
    EXPECT_EQ(recordKeys(copy.connection()), recordKeys(databasePath));
    EXPECT_EQ(window->txtDatabase->text().toStdString(), copy.connection() + ";PWD=***");
    for (const auto& message : fake.messages)
        EXPECT_EQ(message.text.find("secret"), std::string::npos) << message.text;
}

} // namespace
} // namespace korvalt::testing
