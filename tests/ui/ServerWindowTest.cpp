#include "database/Database.h"
#include "startup/Module1.h"
#include "support/PgServer.h"
#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace korvalt::testing {
namespace {

using Keys = std::vector<std::size_t>;

// The apostrophe goes inside the delete's double quotes; the model file
// without a name is an empty literal, not a column.
const std::string kDeleted[] = {"AREA1.dwg", "O'Neil-4.dwg", ""};

// "UNIQUE_ID|DWG_NAME" of every record, sorted: a record gone or moved shows
// whatever order the database reads them in.
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
    using Button = QPushButton* frmTaviDatabase::*;

    // What the window showed at each step of the script on `address`: the
    // results (or the eight filter lists, letters folded, as a DISTINCT keeps
    // either spelling), caption, title and messages, with what the
    // statements leave open (the order of ties) made alike.
    std::vector<Rows> observe(const std::string& address) {
        ResetProcessState();
        flushDeletes();
        SetToolkit(&fake);
        m_steps.clear();
        start(address);
        m_seen = 0;
        record(filterLists());
        const std::pair<const char*, FilterTexts> searches[] = {
            {"all", {}},
            {"patterns", {.drawing = "area?.DWG", .shortDesc = "*val*", .longDesc = "gate VALVE*"}},
            {"other case", {.spec = "cs150", .size = "4", .tag = "p-1"}},
            {"double quote", {.line = "2\"-P-1003-cs150"}},
            {"class", {.tag = "[pv]-1?*"}},
            {"% and _ mean themselves", {.longDesc = "Gate%*", .tag = "P_1*"}},
        };
        for (const auto& [name, filters] : searches) {
            setFilters(filters);
            press(&frmTaviDatabase::cmdSearchAll, {0, 1, 5});
        }
        setFilters({});
        press(&frmTaviDatabase::CmdFindDuplicatetags, {1, 3});
        press(&frmTaviDatabase::cmdRequireNumber, {0, 1, 3});
        press(&frmTaviDatabase::cmdRequireTag, {0, 1, 3});
        press(&frmTaviDatabase::cmdListUniqueLine, {});
        for (const std::string& drawing : kDeleted) {
            press(&frmTaviDatabase::cmdListUnique, {});
            clickRow(positionOf(drawing));
            fake.msgAnswers.push_back(MsgAnswer::Ok);
            press(&frmTaviDatabase::cmdDeleteRecords, {});
            record(filterLists());
            press(&frmTaviDatabase::cmdSearchAll, {0, 1, 5});
        }
        return m_steps;
    }

private:
    void press(Button button, const Keys& keys) {
        (window->*button)->click();
        Rows shown = tiesSorted(rows(window->lstvResults->columnCount()), keys);
        shown.push_back({resultsCaption(), sListTitle});
        record(std::move(shown));
    }
    Rows filterLists() const {
        Rows lists;
        for (const QComboBox* list :
             {window->cmbDrawName, window->cmbSpec, window->cmbSize, window->cmbShort,
              window->cmbLineNum, window->CmbLong, window->cmbTag, window->CmbPartCode}) {
            lists.push_back(entries(list));
            for (std::string& entry : lists.back())
                std::transform(entry.begin(), entry.end(), entry.begin(), [](char c) {
                    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
                });
        }
        return lists;
    }
    void record(Rows shown) {
        shown.push_back(messageTexts(m_seen));
        m_seen = fake.messages.size();
        m_steps.push_back(std::move(shown));
    }

    std::vector<Rows> m_steps;
    std::size_t m_seen = 0;
};

// The same script on the SQLite copy and on a copy on the server, which hold
// the same records: every list, row, order (as far as the statement settles
// it), caption and message is the same, the deletes take the same records,
// and the password shows nowhere.
TEST_F(ServerWindowTest, ShowsWhatTheFileShowsAndDeletesOnTheServer) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const test_support::PrivateCopy copy(*server, "korvalt_window");
    ASSERT_EQ(recordKeys(copy.connection()), recordKeys(databasePath));
    for (const std::string& drawing : kDeleted)
        ASSERT_GT(recordsOf(databasePath, drawing), 0) << drawing;
    const std::vector<Rows> onFile = observe(databasePath);
    const std::vector<Rows> onServer = observe(copy.connection() + ";PWD=secret");
    ASSERT_EQ(onServer.size(), onFile.size());
    for (std::size_t i = 0; i < onFile.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(onServer[i], onFile[i]);
    }
    EXPECT_GT(onFile.at(1).size(), 30u);
    EXPECT_EQ(recordKeys(copy.connection()), recordKeys(databasePath));
    for (const std::string& drawing : kDeleted)
        EXPECT_EQ(recordsOf(databasePath, drawing), 0) << drawing;
    EXPECT_EQ(window->txtDatabase->text().toStdString(), copy.connection() + ";PWD=***");
    for (const auto& message : fake.messages)
        EXPECT_EQ(message.text.find("secret"), std::string::npos) << message.text;
}

} // namespace
} // namespace korvalt::testing
