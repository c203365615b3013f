#include "query/clsComboHandler.h"

#include "database/EngineError.h"
#include "database/clsDatabaseControl.h"
#include "query/QueryBuilder.h"
#include "results/FieldText.h"
#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "ui/Toolkit.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>
#include <QLabel>
#include <QStringList>
#include <QStringListModel>

namespace korvalt {

namespace {
constexpr const char* kAll = QueryBuilder::kAll;

void reportError(const char* routine) {
    ErrorReport::show(ErrorReport::current(), std::string(routine) + " ", gsContactFooter,
                      "Korvalt Error");
}

// The lists are backed by plain string models: a list of a hundred
// thousand values is set in one go instead of item by item.
void setEntries(QComboBox* list, const QStringList& entries) {
    if (auto* model = qobject_cast<QStringListModel*>(list->model()))
        model->setStringList(entries);
    else {
        list->clear();
        list->addItems(entries);
    }
}

std::string shownText(const QComboBox* list) {
    return list->currentText().toStdString();
}

FilterTexts shownFilters() {
    const frmTaviDatabase& window = frmTaviDatabaseSlot.get();
    FilterTexts filters;
    filters.drawing = shownText(window.cmbDrawName);
    filters.spec = shownText(window.cmbSpec);
    filters.size = shownText(window.cmbSize);
    filters.shortDesc = shownText(window.cmbShort);
    filters.line = shownText(window.cmbLineNum);
    filters.longDesc = shownText(window.CmbLong);
    filters.tag = shownText(window.cmbTag);
    filters.partCode = shownText(window.CmbPartCode);
    return filters;
}
} // namespace

struct clsComboHandler::Filler {
    QComboBox* list;
    const char* statement;
    const char* order;
    const char* field;
    const char* routine;
    bool shortDescription = false;
    // A Null value is reported as an error and adds no entry.
    bool reportNull = true;
};

void clsComboHandler::FillComboBox() {
    // Eight lists of up to a million entries each take a while.
    struct Work {
        Work() { TheToolkit().beginWork(); }
        ~Work() { TheToolkit().endWork(); }
        Work(const Work&) = delete;
        Work& operator=(const Work&) = delete;
    } work;
    frmTaviDatabase& window = frmTaviDatabaseSlot.get();
    for (QComboBox* list : {window.cmbDrawName, window.cmbSpec, window.cmbShort, window.cmbLineNum,
                            window.CmbLong, window.cmbTag, window.CmbPartCode, window.cmbSize}) {
        setEntries(list, {});
        list->setEditText("");
    }
    FillDrawingList();
    if (!gTableFound)
        return;
    FillSpecList();
    FillShortDescList();
    FillLongDescList();
    FillTagList();
    FillPartCodeList();
    FillLineNumList();
    FillSizeList();
}

void clsComboHandler::fill(const Filler& filler) {
    const auto gateway = std::make_shared<clsDatabaseControl>();
    gDatabaseControl = gateway;
    std::string sql = std::string(filler.statement) + filler.order;
    std::unique_ptr<Recordset> records = gateway->GetRecordset(sql);
    // The drawing list is filled first; a missing table stops it here.
    if (filler.list == frmTaviDatabaseSlot.get().cmbDrawName && !gTableFound)
        return;

    QStringList entries{kAll};
    if (filler.shortDescription)
        entries << "*val*";
    // Without a recordset the gateway has already told the user why.
    std::size_t read = 0;
    // Where the recordset offers it, the text is read in place.
    const int position = records ? records->fieldPosition(filler.field) : -1;
    while (records && !records->isEof()) {
        TheToolkit().workProgress(++read);
        try {
            const std::optional<std::string_view> text =
                position >= 0 ? records->textAt(position) : std::nullopt;
            const Value* value = nullptr;
            if (!text)
                value =
                    position >= 0 ? &records->valueAt(position) : &records->fields(filler.field);
            if (text) {
                // Nearly every entry: its text as it stands.
                entries << QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()));
            } else if (value->isNull()) {
                if (filler.reportNull)
                    throw EngineError(94, "Invalid use of Null");
            } else if (value->isText()) {
                const std::string& stored = value->asText();
                entries << QString::fromUtf8(stored.data(), static_cast<qsizetype>(stored.size()));
            } else {
                entries << QString::fromStdString(FieldText::toText(*value));
            }
        } catch (...) {
            reportError(filler.routine);
        }
        try {
            records->moveNext();
        } catch (...) {
            // A result that cannot be read further ends the list here.
            reportError(filler.routine);
            break;
        }
    }
    if (records)
        records->close();
    records.reset();
    if (filler.shortDescription)
        entries << "*strainer*"
                << "*trap*"
                << "control*";
    setEntries(filler.list, entries);
    filler.list->setCurrentIndex(0);
    filler.list->setEditText(kAll);
}

void clsComboHandler::FillDrawingList() {
    fill({frmTaviDatabaseSlot.get().cmbDrawName, "SELECT DISTINCT DWG_NAME FROM PIPE",
          " ORDER BY DWG_NAME ASC", "DWG_NAME", "FillDrawingList"});
    gDatabaseControl.reset();
}

void clsComboHandler::FillSpecList() {
    fill({frmTaviDatabaseSlot.get().cmbSpec, "SELECT DISTINCT SPEC_FILE FROM PIPE",
          " ORDER BY SPEC_FILE ASC", "Spec_File", "FillSpecList"});
}

void clsComboHandler::FillShortDescList() {
    fill({frmTaviDatabaseSlot.get().cmbShort, "SELECT DISTINCT SHORT_DESC FROM PIPE",
          " ORDER BY SHORT_DESC ASC", "SHORT_DESC", "FillShortDescList", true});
}

void clsComboHandler::FillLongDescList() {
    fill({frmTaviDatabaseSlot.get().CmbLong, "SELECT DISTINCT LONG_DESC FROM PIPE",
          " ORDER BY LONG_DESC ASC", "LONG_DESC", "FillLongDescList"});
}

void clsComboHandler::FillTagList() {
    fill({frmTaviDatabaseSlot.get().cmbTag, "SELECT DISTINCT TAG FROM PIPE", " ORDER BY TAG ASC",
          "Tag", "FillTagList"});
}

void clsComboHandler::FillPartCodeList() {
    fill({frmTaviDatabaseSlot.get().CmbPartCode, "SELECT DISTINCT DB_CODE FROM PIPE",
          " ORDER BY DB_CODE ASC", "DB_CODE", "FillPartCodeList"});
}

void clsComboHandler::FillLineNumList() {
    fill({frmTaviDatabaseSlot.get().cmbLineNum, "SELECT DISTINCT LINE_NUM FROM PIPE",
          " ORDER BY LINE_NUM ASC", "Line_Num", "FillLineNumList"});
}

void clsComboHandler::FillSizeList() {
    // A size cannot be chosen by its absence, so a Null size is left out
    // quietly rather than reported.
    fill({frmTaviDatabaseSlot.get().cmbSize, "SELECT DISTINCT ALPHA_SIZE FROM PIPE",
          " ORDER BY ALPHA_SIZE ASC", "ALPHA_SIZE", "FillSizeList", false, false});
}

bool clsComboHandler::GetSearchType() {
    try {
        return QueryBuilder::isExactSearch(shownFilters());
    } catch (...) {
        reportError("GetSearchType");
    }
    return true;
}

std::string clsComboHandler::CreateSql(std::string& sNewSql) {
    try {
        const FilterTexts filters = shownFilters();
        const bool exact = GetSearchType();
        sNewSql = QueryBuilder::build(sNewSql, filters, exact);
    } catch (...) {
        reportError("CreateSql");
    }
    return sNewSql;
}

void clsComboHandler::DeleteRecord(std::string& sFilename) {
    const auto gateway = std::make_shared<clsDatabaseControl>();
    gDatabaseControl = gateway;
    std::string sql = "DELETE FROM pipe WHERE DWG_NAME = \"" + sFilename + "\"";
    frmTaviDatabaseSlot.get().lblFileName->setText(QString::fromStdString(sFilename));
    gateway->DeleteRecord(sql);
}

} // namespace korvalt
