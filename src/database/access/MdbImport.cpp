#include "database/access/MdbImport.h"

#include "database/EngineError.h"
#include "database/access/ImportBatch.h"
#include "database/access/ImportValues.h"
#include "database/access/JetText.h"
#include "database/access/MdbRows.h"
#include "database/access/PageStream.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace korvalt {

namespace {

using namespace access;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void throwSqlite(sqlite3* db, const std::string& what) {
    throw EngineError(engine_errors::kGeneral, what + ": " + sqlite3_errmsg(db));
}

std::string quoteIdentifier(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void exec(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throwSqlite(db, "Cannot copy the Access tables");
}

// Undoes everything copied so far unless released.
struct Savepoint {
    explicit Savepoint(sqlite3* database) : db(database) { exec(db, "SAVEPOINT mdb_import"); }
    ~Savepoint() {
        if (!released) {
            sqlite3_exec(db, "ROLLBACK TO mdb_import", nullptr, nullptr, nullptr);
            sqlite3_exec(db, "RELEASE mdb_import", nullptr, nullptr, nullptr);
        }
    }
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    void release() {
        exec(db, "RELEASE mdb_import");
        released = true;
    }
    sqlite3* db;
    bool released = false;
};

// Rows handed over at a time: large enough that the hand-over costs
// nothing, small enough that both threads start at once.
constexpr std::size_t kBatchRows = 1024;

// Walks the table's rows on a thread of its own, converting each, while the
// calling thread inserts them.
void readRowsInto(Source& src, MdbTableDef* table, std::vector<ColumnPlan>& plans,
                  ImportQueue& queue) {
    struct Cancelled {};
    try {
        ImportBatch batch;
        forEachRow(src, table, [&](const std::vector<MdbField>& fields, RowId row) {
            batch.rows.push_back(row);
            for (std::size_t i = 0; i < plans.size(); ++i)
                convertValue(src, fields[i], plans[i], batch);
            if (batch.rows.size() == kBatchRows) {
                if (!queue.push(std::move(batch)))
                    throw Cancelled{};
                batch = ImportBatch{};
            }
        });
        if (!batch.rows.empty() && !queue.push(std::move(batch)))
            return;
        queue.finish();
    } catch (const Cancelled&) {
    } catch (...) {
        queue.finish(std::current_exception());
    }
}

// The name by which the copy's rows can be addressed: the first of SQLite's
// three names for a row's key that no column of the table has taken.
std::string freeRowKeyName(MdbTableDef* table) {
    for (const char* name : {"rowid", "_rowid_", "oid"}) {
        bool taken = false;
        for (unsigned i = 0; i < table->num_cols; ++i)
            taken = taken || g_ascii_strcasecmp(column(table, i)->name, name) == 0;
        if (!taken)
            return name;
    }
    return {};
}

MdbImport::Table importTable(Source& src, const CatalogTable& entryInfo, sqlite3* db) {
    MdbCatalogEntry entry = makeEntry(src.mdb, entryInfo.name, entryInfo.tdefPage);
    TableDefPtr table = readMdbTableDef(entry);
    if (!table)
        damaged(src);

    std::vector<ColumnPlan> plans;
    plans.reserve(table->num_cols);
    std::string create = "CREATE TABLE " + quoteIdentifier(entryInfo.name) + " (";
    // Each copied row keeps its address in the file as its key, so that a
    // delete on the copy names exactly the rows to delete in the file.
    MdbImport::Table imported{entryInfo.name, static_cast<std::uint32_t>(entryInfo.tdefPage),
                              freeRowKeyName(table.get())};
    const bool keyed = !imported.rowKey.empty();
    std::string insert = "INSERT INTO " + quoteIdentifier(entryInfo.name) + " (";
    std::string values = keyed ? "?" : "";
    if (keyed)
        insert += imported.rowKey;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn* col = column(table.get(), i);
        const std::string_view name(col->name);
        if (name.empty())
            damaged(src);
        for (unsigned j = 0; j < i; ++j) {
            if (g_ascii_strcasecmp(column(table.get(), j)->name, col->name) == 0)
                damaged(src);
        }
        plans.push_back(planColumn(col));
        create += (i ? ", " : "") + quoteIdentifier(name) + " " + sqlType(plans.back().kind);
        insert += (i || keyed ? ", " : "") + quoteIdentifier(name);
        values += i || keyed ? ", ?" : "?";
    }
    create += ")";
    insert += ") VALUES (" + values + ")";
    exec(db, create);

    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, insert.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throwSqlite(db, "Cannot copy table '" + entryInfo.name + "'");
    const StatementPtr stmt(raw);

    unsigned int copied = 0;
    const int first = keyed ? 2 : 1;
    ImportQueue queue;
    std::jthread reader([&] { readRowsInto(src, table.get(), plans, queue); });
    try {
        ImportBatch batch;
        while (queue.pop(batch)) {
            const std::size_t columns = plans.size();
            for (std::size_t r = 0; r < batch.rows.size(); ++r) {
                if (keyed)
                    sqlite3_bind_int64(stmt.get(), 1, batch.rows[r]);
                for (std::size_t i = 0; i < columns; ++i)
                    bindCell(stmt.get(), static_cast<int>(i) + first, batch,
                             batch.cells[r * columns + i]);
                if (sqlite3_step(stmt.get()) != SQLITE_DONE)
                    throwSqlite(db, "Cannot copy table '" + entryInfo.name + "'");
                sqlite3_reset(stmt.get());
                ++copied;
            }
        }
    } catch (...) {
        queue.cancel();
        throw;
    }
    // The table definition counts its records. Fewer found means pages of
    // the table are missing (a cut or damaged file): showing the rest as if
    // it were the whole table would mislead.
    if (copied < table->num_rows)
        damaged(src);
    return imported;
}

} // namespace

std::vector<MdbImport::Table> MdbImport::importInto(const std::string& path, sqlite3* target) {
    if (target == nullptr)
        throw EngineError(engine_errors::kGeneral, "No database to copy the Access tables into.");
    const JetFile file = inspectFile(path);

    const MdbHandlePtr mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb || mdb->fmt == nullptr || mdb->fmt->pg_size != file.pageSize)
        throwUnrecognized(path);
    // libmdb reads every page through its stream; ours saves it three system
    // calls a page. Its own stays when ours cannot be had.
    if (std::FILE* stream = access::openPageStream(path)) {
        std::fclose(mdb->f->stream);
        mdb->f->stream = stream;
    }

    Source src;
    src.mdb = mdb.get();
    src.path = path;
    src.file = file;
    src.jet3 = IS_JET3(mdb.get());
    IconvPtr codePage;
    if (src.jet3) {
        codePage = openCodePage(mdb->f->code_page);
        src.codePage = codePage.get();
    }

    const std::vector<CatalogTable> tables = readCatalog(src);
    std::vector<Table> imported;
    Savepoint savepoint(target);
    for (const CatalogTable& table : tables)
        imported.push_back(importTable(src, table, target));
    savepoint.release();
    return imported;
}

} // namespace korvalt
