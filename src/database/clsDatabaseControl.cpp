#include "database/clsDatabaseControl.h"

#include "database/Database.h"
#include "database/EngineError.h"
#include "query/clsComboHandler.h"
#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "startup/frmLocateData.h"
#include "startup/frmSplash.h"
#include "ui/Toolkit.h"
#include "ui/frmTaviDatabase.h"

namespace korvalt {

namespace {
constexpr const char* kWrongAddress = "The location or name of the database file is recorded "
                                      "incorrectly. Please browse to the correct location of the "
                                      "database file.";

} // namespace

void clsDatabaseControl::ConnectToDatabase() {
    if (!db_connect())
        TheToolkit().endProgram();
}

bool clsDatabaseControl::db_connect() {
    gDatabaseOpen = true;
    try {
        gDatabase = OpenDatabase(m_dataAddress);
        gDatabase->setProgress([] { TheToolkit().workProgress(std::nullopt); });
        return true;
    } catch (...) {
        // The splash timer may tick while a window below is open; it must
        // see that there is no database to show.
        gDatabaseOpen = false;
        const ErrorInfo error = ErrorReport::current();
        if (error.number == engine_errors::kFileNotFound ||
            error.number == engine_errors::kInvalidPath) {
            frmLocateData::ShowWithMessage(kWrongAddress);
        } else {
            TheToolkit().msgBox(ErrorReport::message(error, "db_connect ") + gsSupportFooter,
                                "Cannot Connect to Database", MsgButtons::Ok, MsgIcon::Critical);
        }
        return false;
    }
}

void clsDatabaseControl::DeleteRecord(std::string& sql) {
    const std::string fileName = frmTaviDatabaseSlot.get().modelFileName();
    const MsgAnswer answer = TheToolkit().msgBox(
        "Are you sure you want to delete all Records for " + fileName + " from this Database",
        "Confirm Delete", MsgButtons::OkCancel, MsgIcon::None);
    if (answer != MsgAnswer::Ok)
        return;
    try {
        gDatabase->execute(sql);
    } catch (...) {
        ErrorReport::show(ErrorReport::current(), "DeleteRecord ", gsSupportFooter, "Korvalt");
    }
    // Even a failed delete is followed by the refill, so the lists show
    // what the file holds now.
    const auto lists = std::make_unique<clsComboHandler>();
    lists->FillComboBox();
}

std::unique_ptr<Recordset> clsDatabaseControl::GetRecordset(std::string& sql) {
    gTableFound = true;
    try {
        if (!gDatabase)
            throw EngineError(engine_errors::kObjectClosed, "Object invalid or no longer set.");
        return gDatabase->openRecordset(sql);
    } catch (...) {
        const ErrorInfo error = ErrorReport::current();
        if (error.number == engine_errors::kTableNotFound) {
            gTableFound = false;
            gDatabaseOpen = false;
            frmSplashSlot.unload();
            frmLocateData::ShowWithMessage(kWrongAddress);
        } else {
            ErrorReport::show(error, "GetRecordSet ", gsSupportFooter, "Korvalt");
        }
        return nullptr;
    }
}

} // namespace korvalt
