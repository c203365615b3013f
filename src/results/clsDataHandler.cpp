#include "results/clsDataHandler.h"

#include "database/Database.h"
#include "database/Recordset.h"
#include "database/clsDatabaseControl.h"
#include "results/DuplicateTagFinder.h"
#include "results/FieldText.h"
#include "startup/Module1.h"
#include "ui/ResultsListView.h"

#include <optional>
#include <unordered_set>

namespace korvalt {

namespace {

// Columns 2 onward of mode 1, after DWG_NAME.
constexpr const char* kItemColumns[] = {"LONG_DESC",  "Line_Num",  "Spec_File", "DB_CODE",
                                        "ALPHA_SIZE", "main_nom",  "red_nom",   "Tag",
                                        "LENGTH",     "SHORT_DESC"};
// Columns 2 onward of modes 3 and 7, after DWG_NAME.
constexpr const char* kCheckColumns[] = {"LONG_DESC", "Line_Num", "ALPHA_SIZE", "Tag"};
// Columns 2 onward of mode 11, after Tag.
constexpr const char* kDuplicateColumns[] = {"DWG_NAME", "Line_Num", "LONG_DESC", "SHORT_DESC",
                                             "UNIQUE_ID"};

// The hidden key of a duplicate-tag row. Identifiers are compared as whole
// 64-bit numbers, so records beyond the 16-bit range keep rows of their own.
// A value that is not a whole number gives no key.
std::optional<std::int64_t> rowKey(const Value& id) {
    if (id.isInteger()) {
        return id.asInteger();
    }
    if (id.isReal()) {
        const double v = id.asReal();
        const auto whole = static_cast<std::int64_t>(v);
        if (v >= -9.2e18 && v <= 9.2e18 && static_cast<double>(whole) == v) {
            return whole;
        }
    }
    return std::nullopt;
}

// True when the query found at least two records.
bool twoOrMore(Recordset* found) {
    if (found == nullptr || found->isEof()) {
        return false;
    }
    found->moveNext();
    return !found->isEof();
}

} // namespace

clsDataHandler::clsDataHandler(ResultsListView& list) : m_list(list) {}

void clsDataHandler::SendToDatabase(std::string& sNewSql, std::int16_t& i) {
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    const std::shared_ptr<clsDatabaseControl> gateway = gDatabaseControl;
    RecordsetRef records = gateway->GetRecordset(sNewSql);
    // The gateway has already told the user why there is no recordset.
    if (records) {
        if (i == 1) {
            WriteItemRows(records);
        }
        if (i == 3) {
            WriteNoLineNumberRows(records);
        }
        if (i == 7) {
            WriteNoTagRows(records);
        }
        if (i == 11) {
            WriteDuplicateTagRows(records);
        }
        if (i == 18) {
            WriteDrawingRows(records);
        }
        if (i == 19) {
            WriteLineNumberRows(records);
        }
    }
    gDatabaseControl.reset();
    records.reset();
}

void clsDataHandler::WriteItemRows(RecordsetRef& records) {
    const std::string point = FieldText::localeDecimalPoint();
    for (; !records->isEof(); records->moveNext()) {
        const auto row = m_list.addItem(FieldText::toText(records->fields("DWG_NAME"), point));
        int k = 1;
        for (const char* column : kItemColumns) {
            m_list.setSubItem(row, k++, FieldText::toText(records->fields(column), point));
        }
    }
    records->close();
    records.reset();
}

void clsDataHandler::WriteNoLineNumberRows(RecordsetRef& records) {
    WriteBlankFieldRows(records, "Line_Num");
}

void clsDataHandler::WriteNoTagRows(RecordsetRef& records) {
    WriteBlankFieldRows(records, "Tag");
}

void clsDataHandler::WriteBlankFieldRows(RecordsetRef& records, const char* testedField) {
    const std::string point = FieldText::localeDecimalPoint();
    for (; !records->isEof(); records->moveNext()) {
        if (!FieldText::isBlank(records->fields(testedField))) {
            continue;
        }
        const auto row = m_list.addItem(FieldText::toText(records->fields("DWG_NAME"), point));
        int k = 1;
        for (const char* column : kCheckColumns) {
            m_list.setSubItem(row, k++, FieldText::toText(records->fields(column), point));
        }
    }
    records.reset();
}

void clsDataHandler::WriteDuplicateTagRows(RecordsetRef& records) {
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    const std::shared_ptr<clsDatabaseControl> gateway = gDatabaseControl;
    const std::string point = FieldText::localeDecimalPoint();

    // Keys already in the list: a record is listed once, whatever found it.
    std::unordered_set<std::int64_t> listed;
    for (int position = 0; position < m_list.count(); ++position) {
        if (const auto key = m_list.tag(position)) {
            listed.insert(*key);
        }
    }

    std::optional<DuplicateTagFinder> finder;
    if (gDatabase) {
        finder.emplace(*gDatabase);
    }
    // The last engine query stays open until the next one replaces it.
    RecordsetRef found;

    for (; !records->isEof(); records->moveNext()) {
        const Value& tagValue = records->fields("Tag");
        if (!FieldText::isNonBlank(tagValue)) {
            continue;
        }
        const std::string tag = FieldText::toText(tagValue, point);
        std::optional<bool> duplicate;
        if (finder) {
            duplicate = finder->beginsAtLeastTwo(tag);
        }
        if (!duplicate) {
            // The tag goes into the statement as it is: wildcards in it act
            // as wildcards, and an apostrophe breaks the statement, which
            // the gateway reports.
            std::string sql = "SELECT * FROM PIPE WHERE Tag LIKE '" + tag + "*'";
            found = gateway->GetRecordset(sql);
            duplicate = twoOrMore(found.get());
        }
        if (!*duplicate) {
            continue;
        }
        const std::optional<std::int64_t> key = rowKey(records->fields("UNIQUE_ID"));
        if (key && !listed.insert(*key).second) {
            continue;
        }
        const auto row = m_list.addItem(tag);
        int k = 1;
        for (const char* column : kDuplicateColumns) {
            m_list.setSubItem(row, k++, FieldText::toText(records->fields(column), point));
        }
        if (key) {
            m_list.setTag(row, *key);
        }
    }
    found.reset();
    records.reset();
}

void clsDataHandler::WriteDrawingRows(RecordsetRef& records) {
    WriteSingleFieldRows(records, "DWG_NAME");
}

void clsDataHandler::WriteLineNumberRows(RecordsetRef& records) {
    WriteSingleFieldRows(records, "Line_Num");
}

void clsDataHandler::WriteSingleFieldRows(RecordsetRef& records, const char* field) {
    const std::string point = FieldText::localeDecimalPoint();
    for (; !records->isEof(); records->moveNext()) {
        m_list.addItem(FieldText::toText(records->fields(field), point));
    }
    records->close();
    records.reset();
}

} // namespace korvalt
