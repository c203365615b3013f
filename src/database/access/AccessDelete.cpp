#include "database/access/AccessDelete.h"

#include "database/EngineError.h"
#include "database/access/IndexTree.h"
#include "database/access/PageFile.h"
#include "database/access/RowDeleter.h"
#include "database/access/TableDef.h"
#include "database/access/TableVerifier.h"

#include <strings.h>

#include <unordered_set>

namespace korvalt::access {

namespace {

constexpr std::uint8_t kForeignKeyIndex = 0x02;
// Column types up to this one are Jet 3/Jet 4 types; beyond are ACE's
// attachments and multi-value fields, whose rows live in hidden tables.
constexpr std::uint8_t kLastJetColumnType = 0x10;
constexpr std::size_t kFaultsQuoted = 3;

std::string faultList(const std::vector<std::string>& faults) {
    std::string text;
    for (std::size_t i = 0; i < faults.size() && i < kFaultsQuoted; ++i)
        text += (i ? "; " : "") + faults[i];
    if (faults.size() > kFaultsQuoted)
        text += "; and " + std::to_string(faults.size() - kFaultsQuoted) + " more";
    return text;
}

void refuseUnsupported(const TableDef& table, const std::string& name) {
    for (const LogicalIndex& index : table.logicalIndexes) {
        if (index.type == kForeignKeyIndex || index.relatedTablePage != 0)
            throw EngineError(engine_errors::kRelatedRecords,
                              "The table '" + name +
                                  "' takes part in a relationship whose rules Access enforces. "
                                  "Korvalt does not delete from such tables, because records in "
                                  "related tables could be left without their partner; delete "
                                  "in Access instead. Nothing was changed.");
    }
    for (const ColumnDef& column : table.columns) {
        if (strcasecmp(column.name.c_str(), "s_GUID") == 0 ||
            strcasecmp(column.name.c_str(), "s_Lineage") == 0 ||
            strcasecmp(column.name.c_str(), "s_Generation") == 0)
            throw EngineError(engine_errors::kReplicated,
                              "The database is a replica: its deletions must be passed on to "
                              "the other replicas, which only Access can do. Delete in Access "
                              "instead. Nothing was changed.");
        if (column.type > kLastJetColumnType)
            throw EngineError(engine_errors::kNotSupported,
                              "The table '" + name + "' has a column ('" + column.name +
                                  "') of a kind Korvalt does not change. Nothing was changed.");
    }
}

void refuseFaulty(const PageFile& file, const std::string& name,
                  const std::vector<std::string>& faults) {
    if (!faults.empty())
        throw EngineError(engine_errors::kCannotOpen,
                          "The table '" + name + "' in '" + file.path() + "' is not in order (" +
                              faultList(faults) +
                              "). Korvalt changes only sound files: compact and repair the "
                              "database in Access, then try again. Nothing was changed.");
}

// The new copy must hold the same table, less exactly the deleted rows.
void checkCopy(const std::string& tempPath, std::uint32_t tdefPage, const TableDef& before,
               const std::vector<RowId>& rows, const std::string& name) {
    PageFile copy(tempPath);
    const TableDef after = readTableDef(copy, tdefPage);
    std::vector<std::string> faults = verifyTable(copy, after);
    const std::unordered_set<RowId> gone(rows.begin(), rows.end());
    if (after.numRows + gone.size() != before.numRows)
        faults.push_back("the row count did not go down by the rows deleted");
    if (!faults.empty())
        throw EngineError(engine_errors::kGeneral,
                          "Korvalt's check of the changed copy of table '" + name +
                              "' found a fault (" + faultList(faults) +
                              "), so the database was left as it was. Nothing was changed.");
}

} // namespace

void deleteRowsInPages(PageFile& file, const TableDef& table, const std::vector<RowId>& rows) {
    const std::unordered_set<RowId> victims(rows.begin(), rows.end());
    deleteDataRows(file, table, rows);
    for (const RealIndex& index : table.realIndexes)
        removeIndexRows(file, table.page, index.rootPage, victims);
}

FileStamp deleteRowsInFile(const std::string& path, const FileStamp& openedAs,
                           std::uint32_t tdefPage, const std::string& tableName,
                           const std::vector<RowId>& rows, bool knownSound) {
    // The reasons not to touch the file at all (open in Access, read-only,
    // changed since it was read) come first; the copy it makes is what the
    // changed pages go into.
    FileReplacement replacement(path, openedAs);

    // Every changed page is worked out in memory first, from the original,
    // while the copy is being made; nothing is written until all of it is
    // known to fit.
    PageFile file(path);
    const TableDef table = readTableDef(file, tdefPage);
    refuseUnsupported(table, tableName);
    if (!knownSound)
        refuseFaulty(file, tableName, verifyTable(file, table));

    deleteRowsInPages(file, table, rows);

    const auto pageSize = static_cast<std::size_t>(file.format().pageSize);
    for (const auto& [number, bytes] : file.changes())
        replacement.writePage(number, bytes.data(), pageSize);
    // The disk is already writing the copy out (it started when the copy
    // was whole) while the copy is checked.
    replacement.waitForCopy();
    checkCopy(replacement.tempPath(), tdefPage, table, rows, tableName);
    replacement.flush();
    return replacement.commit();
}

bool tableIsSound(const std::string& path, std::uint32_t tdefPage) {
    try {
        PageFile file(path);
        return verifyTable(file, readTableDef(file, tdefPage)).empty();
    } catch (const EngineError&) {
        return false;
    }
}

} // namespace korvalt::access
