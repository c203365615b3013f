#include "results/clsDataHandler.h"

#include "database/Database.h"
#include "database/Recordset.h"
#include "database/clsDatabaseControl.h"
#include "results/DuplicateTagFinder.h"
#include "results/FieldText.h"
#include "results/RecordTexts.h"
#include "startup/Module1.h"
#include "ui/ResultsListView.h"
#include "ui/Toolkit.h"

#include <iterator>
#include <optional>
#include <unordered_set>

namespace korvalt {

namespace {

// Moves to the next record and counts it for the progress the user sees
// while a long result is read.
void next(Recordset& records, std::size_t& read) {
    records.moveNext();
    TheToolkit().workProgress(++read);
}

// Columns of mode 1.
constexpr const char* kItemRow[] = {"DWG_NAME", "LONG_DESC",  "Line_Num",  "Spec_File",
                                    "DB_CODE",  "ALPHA_SIZE", "main_nom",  "red_nom",
                                    "Tag",      "LENGTH",     "SHORT_DESC"};
// Columns of modes 3 and 7.
constexpr const char* kCheckRow[] = {"DWG_NAME", "LONG_DESC", "Line_Num", "ALPHA_SIZE", "Tag"};
constexpr std::size_t kCheckRowSize = std::size(kCheckRow);
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
    // Whole rows straight from the engine's text where the recordset allows.
    RecordTexts texts(*records, kItemRow, point);
    if (texts.usable()) {
        for (std::size_t read = 0; !records->isEof(); next(*records, read)) {
            m_list.addRow(texts.read());
        }
    }
    for (std::size_t read = 0; !records->isEof(); next(*records, read)) {
        const auto row = m_list.addItem(FieldText::toText(records->fields(kItemRow[0]), point));
        for (int k = 1; k < static_cast<int>(std::size(kItemRow)); ++k) {
            m_list.setSubItem(row, k, FieldText::toText(records->fields(kItemRow[k]), point));
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
    const char* const fields[] = {kCheckRow[0], kCheckRow[1], kCheckRow[2],
                                  kCheckRow[3], kCheckRow[4], testedField};
    RecordTexts texts(*records, fields, point);
    if (texts.usable()) {
        for (std::size_t read = 0; !records->isEof(); next(*records, read)) {
            if (texts.isBlank(kCheckRowSize)) {
                m_list.addRow(texts.read().first(kCheckRowSize));
            }
        }
    }
    for (std::size_t read = 0; !records->isEof(); next(*records, read)) {
        if (!FieldText::isBlank(records->fields(testedField))) {
            continue;
        }
        const auto row = m_list.addItem(FieldText::toText(records->fields(kCheckRow[0]), point));
        for (int k = 1; k < static_cast<int>(kCheckRowSize); ++k) {
            m_list.setSubItem(row, k, FieldText::toText(records->fields(kCheckRow[k]), point));
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

    for (std::size_t read = 0; !records->isEof(); next(*records, read)) {
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
    const char* const fields[] = {field};
    RecordTexts texts(*records, fields, point);
    if (texts.usable()) {
        for (std::size_t read = 0; !records->isEof(); next(*records, read)) {
            m_list.addItem(texts.read(0));
        }
    }
    for (std::size_t read = 0; !records->isEof(); next(*records, read)) {
        m_list.addItem(FieldText::toText(records->fields(field), point));
    }
    records->close();
    records.reset();
}

} // namespace korvalt
