#pragma once

#include "database/Database.h"
#include "database/odbc/ServerSql.h"

#include <functional>
#include <memory>
#include <string>

namespace korvalt {

namespace odbc {
class Connection;
}

// The Pipe table on a database server, reached through ODBC and read live:
// statements of the file engine's dialect are translated for the server
// (ServerSql) and run there, and results stream back a record at a time.
class OdbcDatabase : public Database {
public:
    // Connects with an ODBC connection string, learns the server's dialect
    // and reads its table and column names. Raises EngineError: 3024 for a
    // server out of reach, 3044 for a data source or driver that does not
    // exist, another number with the driver's words and ODBC state.
    static std::unique_ptr<OdbcDatabase> connect(const std::string& connectionString);

    OdbcDatabase(std::shared_ptr<odbc::Connection> connection, ServerDialect dialect,
                 ServerSchema schema);
    ~OdbcDatabase() override;

    // Runs in a transaction of its own: all of its changes or none.
    void execute(const std::string& sql) override;
    std::unique_ptr<Recordset> openRecordset(const std::string& sql) override;
    // The connection string with its password hidden.
    const std::string& path() const override;
    // Called while the server sorts or deletes, and while the first records
    // of a result are on their way.
    void setProgress(std::function<void()> stillBusy) override;

    ServerDialect dialect() const { return m_dialect; }
    const ServerSchema& schema() const { return m_schema; }

private:
    std::shared_ptr<odbc::Connection> m_connection;
    ServerDialect m_dialect;
    ServerSchema m_schema;
    std::function<void()> m_stillBusy;
};

} // namespace korvalt
