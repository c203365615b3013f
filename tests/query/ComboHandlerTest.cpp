#include "database/Database.h"
#include "database/EngineError.h"
#include "query/clsComboHandler.h"
#include "startup/Module1.h"
#include "support/ProcessFixture.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvalt::testing {
namespace {

using Strings = std::vector<std::string>;

// What one list statement gives: its rows, and where reading them fails.
struct Script {
    std::vector<Value> rows;
    int openError = 0;      // the statement is refused with this number
    int badRow = -1;        // reading this row's field fails
    int failAfterRows = -1; // moving on after this many rows fails
};

// One column, named as in the statement (in any case), read by position or only by name.
struct ScriptedRecords : Recordset {
    ScriptedRecords(std::string name, const Script& s, bool position)
        : column(QString::fromStdString(name)), script(s), byPosition(position) {}
    bool isEof() const override { return row >= script.rows.size(); }
    void moveNext() override {
        if (static_cast<int>(row) + 1 == script.failAfterRows)
            throw EngineError(3043, "Disk or network error.");
        ++row;
    }
    const Value& fields(std::string_view name) const override {
        if (!same(name))
            throw EngineError(3265, "Item not found in this collection.");
        return valueAt(0);
    }
    long recordCount() const override { return static_cast<long>(script.rows.size()); }
    void close() override {}
    int fieldPosition(std::string_view name) const override {
        return byPosition && same(name) ? 0 : -1;
    }
    std::optional<std::string_view> textAt(int) const override {
        const Value& value = valueAt(0);
        return value.isText() ? std::optional<std::string_view>(value.asText()) : std::nullopt;
    }
    const Value& valueAt(int) const override {
        if (static_cast<int>(row) == script.badRow)
            throw EngineError(3021, "No current record.");
        return script.rows.at(row);
    }
    bool same(std::string_view name) const { return QString::fromUtf8(name).toUpper() == column; }
    QString column;
    const Script& script;
    bool byPosition;
    std::size_t row = 0;
};

// Answers each list statement by the script for its column.
struct ScriptedDatabase : Database {
    ScriptedDatabase(std::map<std::string, Script> s, bool position, Strings& asked)
        : scripts(std::move(s)), byPosition(position), queried(asked) {}
    void execute(const std::string&) override {}
    std::unique_ptr<Recordset> openRecordset(const std::string& sql) override {
        queried.push_back(sql);
        const std::string listed = sql.substr(16, sql.find(" FROM") - 16);
        if (scripts[listed].openError != 0)
            throw EngineError(scripts[listed].openError, "Refused.");
        return std::make_unique<ScriptedRecords>(listed, scripts[listed], byPosition);
    }
    const std::string& path() const override { return address; }
    std::map<std::string, Script> scripts;
    bool byPosition;
    Strings& queried;
    std::string address; // none: the lists never need it
};

class ComboHandlerTest : public ProcessFixture {
protected:
    void fill(std::map<std::string, Script> scripts, bool byPosition) {
        gDatabase = std::make_unique<ScriptedDatabase>(std::move(scripts), byPosition, queried);
        gsContactFooter = "\r\n(contact)";
        gsSupportFooter = "\r\n(support)";
        window(); // its loading fills the lists already
        queried.clear();
        fake.messages.clear();
        fake.modals.clear();
        clsComboHandler().FillComboBox();
    }
    static Strings entries(const QComboBox* list) {
        Strings out;
        for (int i = 0; i < list->count(); ++i)
            out.push_back(list->itemText(i).toStdString());
        if (list->currentText() != (list->count() ? "All" : ""))
            out.push_back("<shows " + list->currentText().toStdString() + ">");
        return out;
    }
    Strings messages() const {
        Strings out;
        for (const auto& m : fake.messages)
            out.push_back(m.title + ": " + m.text);
        return out;
    }
    frmTaviDatabase& window() { return frmTaviDatabaseSlot.get(); }
    Strings queried;
};

std::string statement(const std::string& column) {
    return "SELECT DISTINCT " + column + " FROM PIPE ORDER BY " + column + " ASC";
}

// Each failure is told once; its list keeps what it read and the others fill as usual.
TEST_F(ComboHandlerTest, ReportsEveryFailureAndFillsTheRest) {
    const auto text = [](const char* t) { return Value::text(t); };
    for (const bool byPosition : {true, false}) {
        SCOPED_TRACE(byPosition ? "read by position" : "read by name");
        fill({{"DWG_NAME", {{text(""), Value::null(), text("A.dwg"), text("B.dwg")}}},
              {"SPEC_FILE", {{text("x"), Value::null()}}},
              {"SHORT_DESC", {{text("Gate"), text("Pipe"), text("Tee")}, 0, 1}},
              {"LONG_DESC", {{text("x")}, 3061}},
              {"TAG", {{text("T-1"), Value::null(), Value::integer(7)}}},
              {"DB_CODE", {{text("C1"), text("C2")}, 0, 0}},
              {"LINE_NUM", {{text("L-1"), text("L-2"), text("L-3")}, 0, -1, 2}},
              {"ALPHA_SIZE", {{Value::null(), Value::real(2.5), text("4")}, 0, 2}}},
             byPosition);
        Strings expected;
        for (const char* column : {"DWG_NAME", "SPEC_FILE", "SHORT_DESC", "LONG_DESC", "TAG",
                                   "DB_CODE", "LINE_NUM", "ALPHA_SIZE"})
            expected.push_back(statement(column));
        EXPECT_EQ(queried, expected);
        EXPECT_EQ(entries(window().cmbDrawName), (Strings{"All", "", "A.dwg", "B.dwg"}));
        EXPECT_EQ(entries(window().cmbSpec), (Strings{"All", "x"}));
        EXPECT_EQ(entries(window().cmbShort),
                  (Strings{"All", "*val*", "Gate", "Tee", "*strainer*", "*trap*", "control*"}));
        EXPECT_EQ(entries(window().CmbLong), Strings{"All"});
        EXPECT_EQ(entries(window().cmbTag), (Strings{"All", "T-1", "7"}));
        EXPECT_EQ(entries(window().CmbPartCode), (Strings{"All", "C2"}));
        EXPECT_EQ(entries(window().cmbLineNum), (Strings{"All", "L-1", "L-2"}));
        EXPECT_EQ(entries(window().cmbSize), (Strings{"All", "2.5"}));
        const std::string null = " \r\n\r\nInvalid use of Null\r\n(contact)";
        const std::string row = " \r\n\r\nNo current record.\r\n(contact)";
        EXPECT_EQ(messages(),
                  (Strings{"Korvalt Error: Error Number 94 in routine FillDrawingList" + null,
                           "Korvalt Error: Error Number 94 in routine FillSpecList" + null,
                           "Korvalt Error: Error Number 3021 in routine FillShortDescList" + row,
                           "Korvalt: Error Number 3061 in routine GetRecordSet \r\n\r\nRefused."
                           "\r\n(support)",
                           "Korvalt Error: Error Number 94 in routine FillTagList" + null,
                           "Korvalt Error: Error Number 3021 in routine FillPartCodeList" + row,
                           "Korvalt Error: Error Number 3043 in routine FillLineNumList "
                           "\r\n\r\nDisk or network error.\r\n(contact)",
                           "Korvalt Error: Error Number 3021 in routine FillSizeList" + row}));
        for (const auto& m : fake.messages) {
            EXPECT_EQ(m.icon, MsgIcon::Critical);
            EXPECT_EQ(m.buttons, MsgButtons::Ok);
        }
        EXPECT_EQ(fake.workDepth, 0);
        EXPECT_EQ(fake.lastRecordsRead, 3u); // the last list, its three rows
        EXPECT_TRUE(gTableFound);
    }
}

// Without the table all eight lists stay empty and the user is sent to find the file.
TEST_F(ComboHandlerTest, MissingTableLeavesEveryListEmpty) {
    fill({{"DWG_NAME", {{}, 3078}}}, true);
    window().cmbTag->setEditText("typed");
    clsComboHandler().FillComboBox();
    EXPECT_EQ(queried, (Strings{statement("DWG_NAME"), statement("DWG_NAME")}));
    for (const QComboBox* list :
         {window().cmbDrawName, window().cmbSpec, window().cmbShort, window().cmbLineNum,
          window().CmbLong, window().cmbTag, window().CmbPartCode, window().cmbSize})
        EXPECT_EQ(entries(list), Strings{}) << list->objectName().toStdString();
    EXPECT_FALSE(gTableFound);
    EXPECT_TRUE(fake.messages.empty());
    ASSERT_EQ(fake.modals.size(), 2u);
    EXPECT_EQ(fake.modals[1].label, "The location or name of the database file is recorded "
                                    "incorrectly. Please browse to the correct location of the "
                                    "database file.");
    EXPECT_EQ(fake.modals[0].windowName, "frmLocateData");
    EXPECT_EQ(fake.workDepth, 0);
}

} // namespace
} // namespace korvalt::testing
