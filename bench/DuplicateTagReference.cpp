#include "DuplicateTagReference.h"

#include "database/clsDatabaseControl.h"
#include "results/FieldText.h"
#include "startup/Module1.h"
#include "ui/ResultsListView.h"

#include <optional>

namespace korvalt::bench {

namespace {

std::optional<std::int64_t> keyOf(const Value& id) {
    if (id.isInteger()) {
        return id.asInteger();
    }
    if (id.isReal() && id.asReal() == static_cast<double>(static_cast<std::int64_t>(id.asReal()))) {
        return static_cast<std::int64_t>(id.asReal());
    }
    return std::nullopt;
}

} // namespace

void DuplicateTagReference::write(ResultsListView& list, std::unique_ptr<Recordset>& records) {
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    const auto gateway = gDatabaseControl;
    std::unique_ptr<Recordset> found;
    for (; !records->isEof(); records->moveNext()) {
        const Value& tag = records->fields("Tag");
        if (!FieldText::isNonBlank(tag)) {
            continue;
        }
        const std::string t = FieldText::toText(tag);
        const std::optional<std::int64_t> u = keyOf(records->fields("UNIQUE_ID"));
        std::string sql = "SELECT * FROM PIPE WHERE Tag LIKE '" + t + "*'";
        found = gateway->GetRecordset(sql);
        if (!found || found->recordCount() == 0) {
            continue;
        }
        bool first = true;
        bool appended = false;
        for (; !found->isEof(); found->moveNext()) {
            if (first) {
                first = false;
                continue;
            }
            bool present = false;
            for (int position = 0; position < list.count(); ++position) {
                if (u && list.tag(position) == u) {
                    present = true;
                }
            }
            // Without a key the record still gets one row only.
            if (present || (!u && appended)) {
                continue;
            }
            const auto row = list.addItem(t);
            list.setSubItem(row, 1, FieldText::toText(records->fields("DWG_NAME")));
            list.setSubItem(row, 2, FieldText::toText(records->fields("Line_Num")));
            list.setSubItem(row, 3, FieldText::toText(records->fields("LONG_DESC")));
            list.setSubItem(row, 4, FieldText::toText(records->fields("SHORT_DESC")));
            list.setSubItem(row, 5, FieldText::toText(records->fields("UNIQUE_ID")));
            if (u) {
                list.setTag(row, *u);
            }
            appended = true;
        }
    }
    records.reset();
}

} // namespace korvalt::bench
