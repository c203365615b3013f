#pragma once

#include "database/Database.h"
#include "database/access/FileReplacement.h"
#include "database/access/MdbImport.h"

#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace korvalt {

class SqliteDatabase;

// An Access file (Jet 3 or Jet 4), read whole into an SQLite copy in memory
// that answers every query. A DELETE statement runs on the copy and, in the
// same step, on the file itself (see access/AccessDelete.h): the rows the
// statement removes from the copy are exactly the rows removed from the
// file, and when the file cannot be changed the copy is put back, so both
// always hold the same records. Other changes are refused (3027).
class AccessDatabase : public Database {
public:
    // Raises what OpenDatabase raises for a file it cannot read.
    static std::unique_ptr<AccessDatabase> open(const std::string& path);
    // Use open().
    AccessDatabase(std::unique_ptr<SqliteDatabase> memory, std::vector<MdbImport::Table> tables,
                   const access::FileStamp& stamp,
                   std::future<std::set<std::uint32_t>> soundTables);
    ~AccessDatabase() override;

    void execute(const std::string& sql) override;
    std::unique_ptr<Recordset> openRecordset(const std::string& sql) override;
    const std::string& path() const override;
    void setProgress(std::function<void()> stillBusy) override;

private:
    void deleteCapturedRows();
    // Waits for the check started at open, the first time.
    std::set<std::uint32_t>& soundTables();

    std::unique_ptr<SqliteDatabase> m_memory;
    std::vector<MdbImport::Table> m_tables;
    access::FileStamp m_stamp; // the file as it was read, or as Korvalt last wrote it
    // Tables whose structure was checked sound in the file with m_stamp: when
    // the file was read (in the background, until the first delete takes the
    // result), and after each delete (the new file is checked before it
    // replaces the old one).
    std::future<std::set<std::uint32_t>> m_pendingCheck;
    std::set<std::uint32_t> m_soundTables;
};

} // namespace korvalt
