#pragma once

#include "database/EngineError.h"

#include <memory>
#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace korvalt {

// One SQLite connection with the dialect's text rules installed (JETNOCASE
// collation, the engine's LIKE), shared by a database and the recordsets it
// handed out, so that a recordset outliving its database stays valid.
// Turns SQLite failures into the engine's numbered errors.
class SqliteConnection {
public:
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

    // Takes ownership of an open handle; raises EngineError when the dialect's
    // functions cannot be registered.
    SqliteConnection(sqlite3* handle, std::string path);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    sqlite3* handle() const { return m_db; }
    const std::string& path() const { return m_path; }

    // From now on statements that would change data raise 3027 with the
    // reason appended; with `exceptDeletes`, DELETE statements still run.
    void setReadOnly(std::string reason, bool exceptDeletes = false) {
        m_readOnlyReason = std::move(reason);
        m_exceptDeletes = exceptDeletes;
    }

    // Translates and prepares one statement. `forReading` means a recordset is
    // wanted: an action statement is then refused. Otherwise a statement that
    // would change data is refused while the connection is read-only.
    Statement prepare(const std::string& jetSql, bool forReading);

    // Steps a statement; true when a row is ready, false when done.
    bool step(sqlite3_stmt* statement, const std::string& jetSql);

    // Reads the file's schema, so that a damaged or foreign file is refused
    // at once instead of at the first query (SQLite reads lazily).
    void checkReadable();

    // Called by the LIKE function when its pattern is malformed: the error is
    // raised to the caller once SQLite gives control back.
    void setPendingError(const EngineError& error) { m_pending = error; }

private:
    [[noreturn]] void raise(int rc, const std::string& jetSql);

    sqlite3* m_db;
    std::string m_path;
    std::optional<std::string> m_readOnlyReason;
    bool m_exceptDeletes = false;
    std::optional<EngineError> m_pending;
};

} // namespace korvalt
