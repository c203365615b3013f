#pragma once

#include "database/Recordset.h"

#include <memory>
#include <string>

namespace korvalt {

// The only way the program reaches its database. Instances are cheap and
// interchangeable: the open database itself is the process-wide gDatabase.
// Every engine error is caught here; none escapes to the caller.
class clsDatabaseControl {
public:
    const std::string& dataAddress() const { return m_dataAddress; }
    void setDataAddress(const std::string& address) { m_dataAddress = address; }

    // Opens the database named by dataAddress, or ends the program.
    void ConnectToDatabase();
    // Asks the user, then runs the delete statement and refills the filter
    // lists. The model file's name is read from the main window.
    void DeleteRecord(std::string& sql);
    // Opens a recordset on a query; nothing (after telling the user) when
    // the engine rejects it.
    std::unique_ptr<Recordset> GetRecordset(std::string& sql);

private:
    bool db_connect();

    std::string m_dataAddress;
};

} // namespace korvalt
