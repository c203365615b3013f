#include "database/access/AccessDatabase.h"

#include "database/EngineError.h"
#include "database/SqliteDatabase.h"
#include "database/access/AccessDelete.h"

#include <sqlite3.h>
#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <future>
#include <map>
#include <utility>

namespace korvalt {

namespace {

// Rows a statement deletes from the copy are noted here by triggers, with
// the table's place in the import list and the row's address in the file.
constexpr const char* kCaptureTable = "korvalt_deleted_rows";

void run(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw EngineError(engine_errors::kGeneral,
                          std::string("Cannot prepare the copy of the database: ") +
                              sqlite3_errmsg(db));
}

std::string quoted(const std::string& name) {
    std::string text = "\"";
    for (const char c : name)
        text += c == '"' ? std::string("\"\"") : std::string(1, c);
    return text + "\"";
}

// Lowers the calling thread's priority below the program's other threads, so
// that work done ahead of need does not slow down what the user waits for.
void yieldToOtherWork() {
#ifdef __linux__
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
#endif
}

} // namespace

std::unique_ptr<AccessDatabase> AccessDatabase::open(const std::string& path) {
    // Taken before reading, so that a change made while the file is read is
    // noticed before the first delete.
    const access::FileStamp stamp = access::stampOf(path);
    auto memory = SqliteDatabase::openMemory(path);
    std::vector<MdbImport::Table> tables = MdbImport::importInto(path, memory->handle());
    memory->setReadOnly("Korvalt changes Access databases only by deleting records; nothing "
                        "was changed.",
                        true);
    sqlite3* db = memory->handle();
    run(db,
        std::string("CREATE TABLE ") + kCaptureTable + " (tbl INTEGER NOT NULL, address INTEGER)");
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const std::string address = tables[i].rowKey.empty() ? "NULL" : "old." + tables[i].rowKey;
        run(db, "CREATE TEMP TRIGGER korvalt_deleted_" + std::to_string(i) +
                    " AFTER DELETE ON main." + quoted(tables[i].name) + " BEGIN INSERT INTO " +
                    kCaptureTable + " VALUES (" + std::to_string(i) + ", " + address + "); END");
    }
    // The structure is checked while the file is fresh in the page cache, so
    // that a delete need only check the new file it writes. It runs beside
    // whatever the program does next (the filter lists, a report): only a
    // delete waits for it.
    std::vector<std::uint32_t> pages;
    for (const MdbImport::Table& table : tables)
        pages.push_back(table.tdefPage);
    auto check = std::async(std::launch::async, [path, stamp, pages = std::move(pages)] {
        yieldToOtherWork();
        std::set<std::uint32_t> sound;
        try {
            for (const std::uint32_t page : pages) {
                if (access::tableIsSound(path, page))
                    sound.insert(page);
            }
            if (!(access::stampOf(path) == stamp))
                sound.clear();
        } catch (...) {
            // Nothing known sound: the delete checks the file itself.
            sound.clear();
        }
        return sound;
    });
    return std::make_unique<AccessDatabase>(std::move(memory), std::move(tables), stamp,
                                            std::move(check));
}

AccessDatabase::AccessDatabase(std::unique_ptr<SqliteDatabase> memory,
                               std::vector<MdbImport::Table> tables, const access::FileStamp& stamp,
                               std::future<std::set<std::uint32_t>> soundTables)
    : m_memory(std::move(memory)), m_tables(std::move(tables)), m_stamp(stamp),
      m_pendingCheck(std::move(soundTables)) {}

// The future's destructor waits for a check still running.
AccessDatabase::~AccessDatabase() = default;

std::set<std::uint32_t>& AccessDatabase::soundTables() {
    if (m_pendingCheck.valid())
        m_soundTables = m_pendingCheck.get();
    return m_soundTables;
}

void AccessDatabase::execute(const std::string& sql) {
    sqlite3* db = m_memory->handle();
    run(db, "SAVEPOINT korvalt_delete");
    try {
        run(db, std::string("DELETE FROM ") + kCaptureTable);
        m_memory->execute(sql);
        deleteCapturedRows();
        run(db, "RELEASE korvalt_delete");
    } catch (...) {
        // The file was not changed: the copy goes back to what it holds.
        sqlite3_exec(db, "ROLLBACK TO korvalt_delete", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "RELEASE korvalt_delete", nullptr, nullptr, nullptr);
        throw;
    }
}

void AccessDatabase::deleteCapturedRows() {
    sqlite3* db = m_memory->handle();
    sqlite3_stmt* raw = nullptr;
    const std::string query =
        std::string("SELECT tbl, address FROM ") + kCaptureTable + " ORDER BY tbl, address";
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw EngineError(engine_errors::kGeneral, sqlite3_errmsg(db));
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw,
                                                                               &sqlite3_finalize);
    std::map<std::size_t, std::vector<access::RowId>> byTable;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        const auto table = static_cast<std::size_t>(sqlite3_column_int64(raw, 0));
        if (table >= m_tables.size() || sqlite3_column_type(raw, 1) == SQLITE_NULL)
            throw EngineError(engine_errors::kNotSupported,
                              "Korvalt cannot delete from this table of an Access database "
                              "(its columns use every name SQLite has for a row's key). Nothing "
                              "was changed.");
        byTable[table].push_back(static_cast<access::RowId>(sqlite3_column_int64(raw, 1)));
    }
    std::set<std::uint32_t>& sound = soundTables();
    for (const auto& [table, rows] : byTable) {
        const std::uint32_t tdef = m_tables[table].tdefPage;
        m_stamp = access::deleteRowsInFile(m_memory->path(), m_stamp, tdef, m_tables[table].name,
                                           rows, sound.count(tdef) != 0);
        // The new file was checked before it took the old one's place; the
        // other tables' pages are as they were.
        sound.insert(tdef);
    }
}

void AccessDatabase::setProgress(std::function<void()> stillBusy) {
    m_memory->setProgress(std::move(stillBusy));
}

std::unique_ptr<Recordset> AccessDatabase::openRecordset(const std::string& sql) {
    return m_memory->openRecordset(sql);
}

const std::string& AccessDatabase::path() const {
    return m_memory->path();
}

} // namespace korvalt
