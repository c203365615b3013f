#include "database/SqliteDatabase.h"

#include "database/DistinctLists.h"
#include "database/EngineError.h"
#include "database/SqliteConnection.h"
#include "database/SqliteRecordset.h"

#include <sqlite3.h>

namespace korvalt {

namespace {

using engine_errors::kCannotOpenFile;

std::shared_ptr<SqliteConnection> open(const std::string& name, int flags,
                                       const std::string& path) {
    sqlite3* db = nullptr;
    // A connection is used by one thread at a time, so SQLite need not lock
    // it on every call (a million rows read column by column otherwise
    // spend a fifth of their time in its mutex).
    const int rc = sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw EngineError(kCannotOpenFile, "The database engine cannot open the file '" + path +
                                               "'. It is already opened exclusively by another "
                                               "user, or you need permission to view its data. (" +
                                               message + ")");
    }
    auto connection = std::make_shared<SqliteConnection>(db, path);
    connection->checkReadable();
    return connection;
}

} // namespace

SqliteDatabase::SqliteDatabase(std::shared_ptr<SqliteConnection> connection)
    : m_connection(std::move(connection)),
      m_lists(std::make_unique<DistinctLists>(m_connection->handle())) {}

SqliteDatabase::~SqliteDatabase() {
    // Recordsets may keep the connection open after this object is gone.
    sqlite3_progress_handler(handle(), 0, nullptr, nullptr);
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openFile(const std::string& path) {
    // Without this a path beginning with "file:" could be read as a URI.
    const std::string name = path.rfind("file:", 0) == 0 ? "./" + path : path;
    return std::make_unique<SqliteDatabase>(open(name, SQLITE_OPEN_READWRITE, path));
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openMemory(const std::string& path) {
    return std::make_unique<SqliteDatabase>(
        open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, path));
}

void SqliteDatabase::execute(const std::string& sql) {
    const SqliteConnection::Statement statement = m_connection->prepare(sql, false);
    while (m_connection->step(statement.get(), sql)) {
    }
}

std::unique_ptr<Recordset> SqliteDatabase::openRecordset(const std::string& sql) {
    if (std::unique_ptr<Recordset> list = m_lists->answer(sql))
        return list;
    return std::make_unique<SqliteRecordset>(m_connection, m_connection->prepare(sql, true), sql);
}

const std::string& SqliteDatabase::path() const {
    return m_connection->path();
}

sqlite3* SqliteDatabase::handle() const {
    return m_connection->handle();
}

void SqliteDatabase::setProgress(std::function<void()> stillBusy) {
    m_stillBusy = std::move(stillBusy);
    // About every few milliseconds of the engine's work.
    constexpr int kInstructions = 200000;
    if (!m_stillBusy) {
        sqlite3_progress_handler(handle(), 0, nullptr, nullptr);
        return;
    }
    sqlite3_progress_handler(
        handle(), kInstructions,
        [](void* self) {
            static_cast<SqliteDatabase*>(self)->m_stillBusy();
            return 0; // go on
        },
        this);
}

void SqliteDatabase::setReadOnly(std::string reason, bool exceptDeletes) {
    m_connection->setReadOnly(std::move(reason), exceptDeletes);
}

} // namespace korvalt
