#pragma once

#include "database/Database.h"

#include <memory>
#include <string>

struct sqlite3;

namespace korvalt {

class SqliteConnection;
class DistinctLists;

// A database run by SQLite: either our own SQLite file, or an Access file
// read into memory (see access/MdbImport.h). Statements are in the file engine's
// dialect (JetSql.h).
class SqliteDatabase : public Database {
public:
    // Opens an existing SQLite file for reading and writing, shared with other
    // programs; waits up to two seconds for a lock held by another one.
    static std::unique_ptr<SqliteDatabase> openFile(const std::string& path);
    // An empty database in memory, for an importer to fill.
    static std::unique_ptr<SqliteDatabase> openMemory(const std::string& path = {});

    // Use openFile() or openMemory().
    explicit SqliteDatabase(std::shared_ptr<SqliteConnection> connection);
    ~SqliteDatabase() override;

    void execute(const std::string& sql) override;
    std::unique_ptr<Recordset> openRecordset(const std::string& sql) override;
    const std::string& path() const override;
    void setProgress(std::function<void()> stillBusy) override;

    sqlite3* handle() const;
    // From now on every statement that would change data raises 3027 with the
    // reason appended, and changes nothing; with `exceptDeletes`, DELETE
    // statements still run.
    void setReadOnly(std::string reason, bool exceptDeletes = false);

private:
    std::shared_ptr<SqliteConnection> m_connection;
    // Answers the filter lists' statements from one pass over their table.
    std::unique_ptr<DistinctLists> m_lists;
    std::function<void()> m_stillBusy;
};

} // namespace korvalt
