// Fuzzes the statement layer: the input is run as a statement in the Jet
// dialect on an in-memory Pipe table, put as a filter value into the search
// statement the main window builds, and used as a LIKE pattern and text.
// The engine may reject any of it with EngineError; anything else (a crash,
// a sanitizer report, another exception) is a finding.

#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/JetSql.h"
#include "database/PipeSchema.h"
#include "database/SqliteDatabase.h"
#include "query/QueryBuilder.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

namespace {

using korvalt::EngineError;
using korvalt::JetLike;
using korvalt::SqliteDatabase;

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
}

// A few records of the kinds the filters meet: Null and empty text, case-only
// differences, apostrophes, quotes, pattern characters, non-ASCII text.
SqliteDatabase& pipeDatabase() {
    static const std::unique_ptr<SqliteDatabase> db = [] {
        auto created = SqliteDatabase::openMemory("fuzz.db");
        exec(created->handle(), korvalt::pipe_schema::kCreatePipeTable);
        exec(created->handle(),
             "INSERT INTO Pipe VALUES "
             "('AREA1.dwg','Pipe A106-B SCH 40','4\"-P-1001-CS150','CS150','PIP0001','4',4,0,"
             "'P-1',120,'PIPE',1),"
             "('AREA1.dwg','Gate Valve','4\"-P-1002-CS150','CS150','VLV0100','4',4,0,'p-1',0,"
             "'Gate Valve',3),"
             "('O''Neil-4.dwg',NULL,'','cs150','VLV0200','2',2,0.5,'O''BRIEN-1',NULL,'',4),"
             "('AREA3 \"north\".dwg','Ventil Ø50 Rückschlag',NULL,'All','X#[1','10',10,0,'V-1[0',"
             "250.5,'Rückschlagventil',40000),"
             "('',NULL,'   ',NULL,NULL,'9',9,NULL,NULL,6000,'Y strainer',NULL)");
        exec(created->handle(), "SAVEPOINT fuzz_base");
        return created;
    }();
    return *db;
}

// Reads every field of every record, the way the result writers do.
void readAll(SqliteDatabase& db, const std::string& sql) {
    try {
        const auto rs = db.openRecordset(sql);
        (void)rs->recordCount();
        for (int n = 0; !rs->isEof() && n < 1000; ++n) {
            for (const char* column : korvalt::pipe_schema::kColumns) {
                try {
                    (void)rs->fields(column);
                } catch (const EngineError&) {
                    // a column the statement did not select
                }
            }
            rs->moveNext();
        }
        rs->close();
    } catch (const EngineError&) {
    }
}

void runStatement(SqliteDatabase& db, const std::string& sql) {
    try {
        (void)korvalt::JetSql::toSqlite(sql);
    } catch (const EngineError&) {
    }
    readAll(db, sql);
    try {
        db.execute(sql);
    } catch (const EngineError&) {
    }
    // Whatever an action statement changed is undone for the next input.
    exec(db.handle(), "ROLLBACK TO fuzz_base");
}

int sign(int v) {
    return (v > 0) - (v < 0);
}

void checkLike(std::string_view text) {
    const std::string folded = JetLike::fold(text);
    // Folding twice changes nothing more, and folding never changes the order.
    if (JetLike::fold(folded) != folded)
        std::abort();
    if (JetLike::compareNoCase(text, folded) != 0)
        std::abort();
    for (std::string_view other : {"P-1", "p-1", "", "Rückschlag", "ø"}) {
        if (sign(JetLike::compareNoCase(text, other)) != -sign(JetLike::compareNoCase(other, text)))
            std::abort();
        try {
            const JetLike pattern(text);
            (void)pattern.matches(other);
            (void)pattern.matches(text);
        } catch (const EngineError&) {
        }
        try {
            (void)JetLike::matches(text, other);
        } catch (const EngineError&) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SqliteDatabase& db = pipeDatabase();

    runStatement(db, text);

    // The text typed into one filter list, compared exactly and by pattern.
    using korvalt::QueryBuilder;
    korvalt::FilterTexts filters;
    filters.tag = text;
    readAll(db, QueryBuilder::build(QueryBuilder::kSearchBase, filters,
                                    QueryBuilder::isExactSearch(filters)));
    filters.tag = QueryBuilder::kAll;
    filters.drawing = text + "*";
    filters.size = text;
    readAll(db, QueryBuilder::build(QueryBuilder::kSearchBase, filters, false));
    filters.drawing = QueryBuilder::kAll;
    filters.size = QueryBuilder::kAll;
    filters.shortDesc = text;
    runStatement(db, QueryBuilder::build("DELETE * FROM PIPE", filters, true));

    checkLike(text);
    return 0;
}
