#include "database/Database.h"
#include "startup/Module1.h"
#include "support/PgServer.h"
#include "support/PipeCsv.h"
#include "support/ReportWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>

namespace korvalt::testing {
namespace {

using test_support::PgServer;
using Keys = std::vector<std::size_t>;

// Sort keys of the report rows: drawing, long description and size.
const Keys kSearchKeys = {0, 1, 5};
const Keys kCheckKeys = {0, 1, 3};
// The duplicates come in the order of the search, which they do not show
// the size of.
const Keys kDuplicateKeys = {1, 3};
const Keys kNoOrder = {};

// What the window showed after one step of the script: the rows of the
// results list (or the eight filter lists), then the frame caption, and the
// messages the step brought up. What the statements leave open is made
// alike first: the order of records equal in the sort keys, the order of
// a DISTINCT without ORDER BY, and which spelling of a value that differs
// only in letter case a DISTINCT keeps.
struct Step {
    std::string name;
    std::vector<std::vector<std::string>> shown;
    std::vector<std::string> messages;
};

// "UNIQUE_ID|DWG_NAME" of a record; sorted lists of them show a record gone
// or moved to another drawing, whatever order the database reads them in.
std::string key(const Value& id, const Value& drawing) {
    const std::string number = id.isNull() ? "<Null>" : std::to_string(id.asInteger());
    return number + "|" + (drawing.isNull() ? "<Null>" : drawing.asText());
}

std::vector<std::string> csvKeys(const std::set<std::string>& deleted) {
    const auto& columns = test_support::pipeCsvColumns();
    const auto at = [&](const char* name) {
        return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) -
                                        columns.begin());
    };
    std::vector<std::string> keys;
    for (const auto& row :
         test_support::loadPipeCsv(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv")) {
        const Value& drawing = row[at("DWG_NAME")];
        if (!drawing.isText() || deleted.count(drawing.asText()) == 0)
            keys.push_back(key(row[at("UNIQUE_ID")], drawing));
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::vector<std::string> serverKeys(const std::string& connection) {
    const auto db = OpenDatabase(connection);
    std::vector<std::string> keys;
    for (auto rs = db->openRecordset("SELECT * FROM Pipe"); !rs->isEof(); rs->moveNext())
        keys.push_back(key(rs->fields("UNIQUE_ID"), rs->fields("DWG_NAME")));
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The searches of the script: every list at "All", wildcards, and values
// that differ from the stored ones only in letter case.
const std::vector<std::pair<const char*, FilterTexts>>& searches() {
    static const std::vector<std::pair<const char*, FilterTexts>> all = {
        {"all", {}},
        {"short description pattern", {.shortDesc = "*val*"}},
        {"drawing pattern, one letter", {.drawing = "area?.DWG", .longDesc = "gate VALVE*"}},
        {"spec and size in other case", {.spec = "cs150", .size = "4"}},
        {"tag in other case", {.tag = "p-1"}},
        {"line with a double quote", {.line = "2\"-P-1003-cs150"}},
        {"tag class, other case", {.tag = "[pv]-1?*"}},
        // Matches nothing in the file: % and _ are no wildcards there.
        {"percent means itself", {.longDesc = "Gate%*"}},
        {"underscore means itself", {.tag = "P_1*"}},
    };
    return all;
}

class ServerWindowTest : public ReportWindowFixture {
protected:
    using Button = QPushButton* frmTaviDatabase::*;

    // Drives the window on `address` through the script and returns what
    // it showed; `afterDelete` looks at the database after each delete.
    std::vector<Step>
    observe(const std::string& address,
            const std::function<void(const std::set<std::string>&)>& afterDelete) {
        ResetProcessState();
        flushDeletes();
        SetToolkit(&fake);
        fake.messages.clear();
        m_steps.clear();
        m_seen = 0;
        startOn(address);
        window->show();
        QApplication::processEvents();
        record("load", filterLists());

        for (const auto& [name, filters] : searches()) {
            setFilters(filters);
            press(&frmTaviDatabase::cmdSearchAll, std::string("search ") + name, kSearchKeys);
        }
        setFilters({});
        press(&frmTaviDatabase::CmdFindDuplicatetags, "duplicate tags", kDuplicateKeys);
        press(&frmTaviDatabase::cmdRequireNumber, "require line", kCheckKeys);
        press(&frmTaviDatabase::cmdRequireTag, "require tag", kCheckKeys);
        press(&frmTaviDatabase::cmdListUniqueLine, "unique lines", kNoOrder);
        setFilters({.drawing = "AREA1.dwg"});
        press(&frmTaviDatabase::CmdFindDuplicatetags, "duplicate tags of AREA1.dwg",
              kDuplicateKeys);

        // The apostrophe goes inside the delete's double quotes; the
        // model file without a name is an empty literal, not a column.
        std::set<std::string> deleted;
        for (const std::string drawing : {"AREA1.dwg", "O'Neil-4.dwg", ""}) {
            press(&frmTaviDatabase::cmdListUnique, "model files before deleting " + drawing,
                  kNoOrder);
            const int position = positionOf(drawing);
            EXPECT_GE(position, 0) << drawing;
            if (position < 0)
                break;
            clickRow(position);
            fake.msgAnswers.push_back(MsgAnswer::Ok);
            press(&frmTaviDatabase::cmdDeleteRecords, "deleted " + drawing, kNoOrder);
            record("lists after deleting " + drawing, filterLists());
            deleted.insert(drawing);
            if (afterDelete)
                afterDelete(deleted);
            press(&frmTaviDatabase::cmdSearchAll, "search after deleting " + drawing, kSearchKeys);
        }
        return m_steps;
    }

    std::vector<std::string> messagesSoFar() const {
        std::vector<std::string> texts;
        for (const auto& m : fake.messages)
            texts.push_back(m.title + "\n" + m.text);
        return texts;
    }

private:
    void press(Button button, const std::string& name, const Keys& keys) {
        (window->*button)->click();
        Rows shown = tiesSorted(rows(window->lstvResults->columnCount()), keys);
        shown.push_back({resultsCaption(), sListTitle});
        record(name, std::move(shown));
    }
    Rows filterLists() const {
        Rows lists;
        for (const QComboBox* list :
             {window->cmbDrawName, window->cmbSpec, window->cmbSize, window->cmbShort,
              window->cmbLineNum, window->CmbLong, window->cmbTag, window->CmbPartCode}) {
            Strings folded = entries(list);
            for (std::string& entry : folded)
                std::transform(entry.begin(), entry.end(), entry.begin(), [](char c) {
                    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
                });
            lists.push_back(folded);
        }
        return lists;
    }
    void record(std::string name, Rows shown) {
        Step step{std::move(name), std::move(shown), {}};
        const std::vector<std::string> all = messagesSoFar();
        step.messages.assign(all.begin() + static_cast<std::ptrdiff_t>(m_seen), all.end());
        m_seen = all.size();
        m_steps.push_back(std::move(step));
    }

    std::vector<Step> m_steps;
    std::size_t m_seen = 0;
};

// The same script on the SQLite copy and on a copy on the server, which
// hold the same records: every list, row, order (as far as the statement
// settles it), caption and message is the same, and the deletes take
// exactly their model file's records from the server.
TEST_F(ServerWindowTest, ShowsWhatTheFileShowsAndDeletesOnTheServer) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const std::vector<Step> onFile = observe(databasePath, nullptr);

    const std::string schema = "korvalt_window_" + std::to_string(getpid());
    const std::string connection = server->privateCopy(schema);
    struct Drop {
        const PgServer& server;
        const std::string& schema;
        ~Drop() { server.dropSchema(schema); }
    } drop{*server, schema};
    ASSERT_EQ(serverKeys(connection), csvKeys({}));

    // The server trusts local users: the password is only carried along.
    const std::string address = connection + ";PWD=secret";
    const std::vector<Step> onServer = observe(address, [&](const std::set<std::string>& deleted) {
        EXPECT_EQ(serverKeys(connection), csvKeys(deleted));
    });

    ASSERT_EQ(onServer.size(), onFile.size());
    for (std::size_t i = 0; i < onFile.size(); ++i) {
        SCOPED_TRACE(onFile[i].name);
        EXPECT_EQ(onServer[i].shown, onFile[i].shown);
        EXPECT_EQ(onServer[i].messages, onFile[i].messages);
    }
    // Rows were shown at all, and the deletes asked first.
    EXPECT_GT(onFile.at(1).shown.size(), 30u);
    EXPECT_EQ(std::count_if(onFile.begin(), onFile.end(),
                            [](const Step& s) {
                                return !s.messages.empty() &&
                                       s.messages.front().starts_with("Confirm Delete\n");
                            }),
              3);

    const std::string shownAddress = window->txtDatabase->text().toStdString();
    EXPECT_EQ(shownAddress.find("secret"), std::string::npos) << shownAddress;
    EXPECT_TRUE(shownAddress.starts_with(connection)) << shownAddress;
    for (const std::string& message : messagesSoFar())
        EXPECT_EQ(message.find("secret"), std::string::npos) << message;
}

} // namespace
} // namespace korvalt::testing
