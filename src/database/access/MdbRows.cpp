#include "database/access/MdbRows.h"

#include "database/EngineError.h"
#include "database/access/JetText.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace korvalt::access {

namespace {

constexpr int kDamagedTable = engine_errors::kCannotOpen;

// Row offset flags of a data page. libmdb 1.0 has these two the wrong way
// round (it returns deleted rows and drops moved ones), which is why rows are
// walked here rather than with mdb_fetch_row.
constexpr int kDeletedRow = 0x8000;
constexpr int kOverflowRow = 0x4000; // the row holds a pointer to where it moved
constexpr int kOffsetMask = 0x1fff;

// Long value (memo/OLE) header flags.
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueOnePage = 0x40000000u;
constexpr std::uint32_t kLongValueLengthMask = 0x3fffffffu;
constexpr int kLongValueHeaderSize = 12;

// MSysObjects: where the catalog lives, and how it marks tables.
constexpr unsigned long kCatalogPage = 2;
constexpr int kObjectTypeTable = 1;
constexpr std::uint32_t kSystemObjectFlags = 0x80000002u;

} // namespace

[[noreturn]] void throwUnrecognized(const std::string& path) {
    throw EngineError(engine_errors::kUnrecognizedFormat,
                      "Unrecognized database format '" + path + "'.");
}

namespace {

[[noreturn]] void throwDamaged(int number, const std::string& path) {
    if (number == engine_errors::kUnrecognizedFormat)
        throwUnrecognized(path);
    throw EngineError(number, "Cannot open database '" + path +
                                  "'. It may not be a database that your application "
                                  "recognizes, or the file may be corrupt.");
}

} // namespace

JetFile inspectFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        throw EngineError(engine_errors::kFileNotFound, "Could not find file '" + path + "'.");
    if (!fs::is_regular_file(status))
        throwUnrecognized(path);
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec)
        throwUnrecognized(path);

    std::array<char, 0x20> head{};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(head.data(), head.size()))
        throwUnrecognized(path);
    // Page 0 of every Jet 3/Jet 4 file: type byte 0, the engine name, and the
    // version byte that also fixes the page size.
    static constexpr char kEngineName[16] = "Standard Jet DB";
    if (head[0] != 0 || std::memcmp(head.data() + 4, kEngineName, sizeof kEngineName) != 0)
        throwUnrecognized(path);
    JetFile file;
    switch (head[0x14]) {
    case MDB_VER_JET3:
        file.pageSize = 2048;
        break;
    case MDB_VER_JET4:
        file.pageSize = 4096;
        break;
    default:
        throwUnrecognized(path);
    }
    const auto pageSize = static_cast<std::uintmax_t>(file.pageSize);
    // A database is a whole number of pages and reaches at least the catalog.
    if (size % pageSize != 0 || size / pageSize <= kCatalogPage || size / pageSize > 0x7FFFFFu)
        throwUnrecognized(path);
    file.pageCount = static_cast<std::uint32_t>(size / pageSize);
    return file;
}

[[noreturn]] void damaged(const Source& src) {
    throwDamaged(src.damageError, src.path);
}

void decodeText(const Source& src, const unsigned char* p, std::size_t n, std::string& out) {
    if (src.jet3)
        decodeJet3Text(src.codePage, p, n, out);
    else
        decodeJet4Text(p, n, out);
}

namespace {

void loadPage(const Source& src, std::uint32_t page) {
    if (page == 0 || page >= src.file.pageCount || mdb_read_pg(src.mdb, page) != src.file.pageSize)
        damaged(src);
}

// Finds row `pgRow & 0xff` of page `pgRow >> 8` (read into the alternate page
// buffer, the current page stays where it is) and returns its bytes.
std::string_view longValueRow(const Source& src, std::uint32_t pgRow) {
    const std::uint32_t page = pgRow >> 8;
    if (page == 0 || page >= src.file.pageCount)
        damaged(src);
    void* buf = nullptr;
    int start = 0;
    std::size_t size = 0;
    if (mdb_find_pg_row(src.mdb, static_cast<int>(pgRow), &buf, &start, &size) != 0 ||
        static_cast<std::size_t>(start) + size > static_cast<std::size_t>(src.file.pageSize))
        damaged(src);
    return {static_cast<const char*>(buf) + start, size};
}

} // namespace

void readLongValue(Source& src, const unsigned char* field, int fieldSize) {
    std::string& out = src.longValue;
    out.clear();
    if (fieldSize == 0)
        return;
    if (fieldSize < kLongValueHeaderSize)
        damaged(src);
    const std::uint32_t header = get32(field);
    const std::size_t length = header & kLongValueLengthMask;
    std::uint32_t pgRow = get32(field + 4);
    if (header & kLongValueInline) {
        const auto inlineSize = static_cast<std::size_t>(fieldSize - kLongValueHeaderSize);
        out.assign(reinterpret_cast<const char*>(field + kLongValueHeaderSize),
                   std::min(length, inlineSize));
    } else if (header & kLongValueOnePage) {
        const std::string_view row = longValueRow(src, pgRow);
        out.assign(row.substr(0, std::min(length, row.size())));
    } else {
        // A chain of rows, each starting with the pointer to the next one.
        std::uint64_t hops = 0;
        while (pgRow != 0 && out.size() < length) {
            if (++hops > std::uint64_t{src.file.pageCount} * 256)
                damaged(src); // a chain that loops
            const std::string_view row = longValueRow(src, pgRow);
            if (row.size() < 4)
                damaged(src);
            pgRow = get32(reinterpret_cast<const unsigned char*>(row.data()));
            out.append(row.substr(4, std::min(row.size() - 4, length - out.size())));
        }
    }
}

namespace {

// Splits a row into fields and checks every present value lies inside it.
void crackRow(const Source& src, MdbTableDef* table, int start, std::size_t size,
              std::vector<MdbField>& fields) {
    if (mdb_crack_row(table, start, size, fields.data()) < 0)
        damaged(src);
    const long rowEnd = static_cast<long>(start) + static_cast<long>(size);
    for (const MdbField& field : fields) {
        if (field.is_null)
            continue;
        if (field.siz < 0 || field.start < start ||
            static_cast<long>(field.start) + field.siz > rowEnd)
            damaged(src);
    }
}

} // namespace

void forEachRow(Source& src, MdbTableDef* table, const RowCallback& onRow) {
    MdbHandle* mdb = src.mdb;
    if (table->usage_map == nullptr || table->map_sz == 0 || table->columns == nullptr)
        damaged(src);
    std::vector<MdbField> fields(table->num_cols);
    const int rowCountOffset = mdb->fmt->row_count_offset;
    const std::uint32_t maxRows =
        static_cast<std::uint32_t>((src.file.pageSize - rowCountOffset - 2) / 2);
    const auto owner = static_cast<std::uint32_t>(table->entry->table_pg);

    std::uint32_t page = 0;
    for (;;) {
        const gint32 next =
            mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned>(table->map_sz), page);
        if (next == 0)
            return;
        if (next < 0 || static_cast<std::uint32_t>(next) <= page)
            damaged(src);
        page = static_cast<std::uint32_t>(next);
        loadPage(src, page);
        if (mdb->pg_buf[0] != MDB_PAGE_DATA || get32(mdb->pg_buf + 4) != owner)
            continue; // a page the map still lists but that now belongs elsewhere
        const std::uint32_t rows = std::min(get16(mdb->pg_buf + rowCountOffset), maxRows);
        for (std::uint32_t row = 0; row < rows; ++row) {
            int start = 0;
            std::size_t size = 0;
            if (mdb_find_row(mdb, static_cast<int>(row), &start, &size) != 0 || size == 0)
                continue;
            if (start & kDeletedRow)
                continue;
            if (start & kOverflowRow) {
                // The row grew and moved; its new home is marked deleted on
                // its own page, so it is read only through this pointer.
                if (size < 4)
                    damaged(src);
                const std::uint32_t target = get32(mdb->pg_buf + (start & kOffsetMask));
                loadPage(src, target >> 8);
                int movedStart = 0;
                std::size_t movedSize = 0;
                if (mdb->pg_buf[0] != MDB_PAGE_DATA ||
                    mdb_find_row(mdb, static_cast<int>(target & 0xff), &movedStart, &movedSize) !=
                        0 ||
                    movedSize == 0 || (movedStart & kOverflowRow))
                    damaged(src);
                crackRow(src, table, movedStart & kOffsetMask, movedSize, fields);
                onRow(fields, rowId(page, row));
                loadPage(src, page);
                continue;
            }
            crackRow(src, table, start & kOffsetMask, size, fields);
            onRow(fields, rowId(page, row));
        }
    }
}

TableDefPtr readMdbTableDef(MdbCatalogEntry& entry) {
    TableDefPtr table(mdb_read_table(&entry));
    if (!table)
        return table;
    if (mdb_read_columns(table.get()) == nullptr || table->columns == nullptr ||
        table->columns->len != table->num_cols || table->num_cols == 0 ||
        table->num_cols > MDB_MAX_COLS)
        table.reset();
    return table;
}

MdbColumn* column(MdbTableDef* table, unsigned i) {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

MdbCatalogEntry makeEntry(MdbHandle* mdb, const std::string& name, unsigned long tdefPage) {
    MdbCatalogEntry entry{};
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = tdefPage;
    std::snprintf(entry.object_name, sizeof entry.object_name, "%s", name.c_str());
    return entry;
}

std::vector<CatalogTable> readCatalog(Source& src) {
    src.damageError = engine_errors::kUnrecognizedFormat;
    MdbCatalogEntry entry = makeEntry(src.mdb, "MSysObjects", kCatalogPage);
    TableDefPtr table = readMdbTableDef(entry);
    if (!table)
        damaged(src);

    int idCol = -1, nameCol = -1, typeCol = -1, flagsCol = -1;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn* col = column(table.get(), i);
        const auto is = [&](const char* name, int type) {
            return g_ascii_strcasecmp(col->name, name) == 0 && col->col_type == type;
        };
        if (is("Id", MDB_LONGINT))
            idCol = static_cast<int>(i);
        else if (is("Name", MDB_TEXT))
            nameCol = static_cast<int>(i);
        else if (is("Type", MDB_INT))
            typeCol = static_cast<int>(i);
        else if (is("Flags", MDB_LONGINT))
            flagsCol = static_cast<int>(i);
    }
    if (idCol < 0 || nameCol < 0 || typeCol < 0 || flagsCol < 0)
        damaged(src);

    std::vector<CatalogTable> tables;
    bool sawTable = false;
    std::string name;
    forEachRow(src, table.get(), [&](const std::vector<MdbField>& f, RowId) {
        const MdbField& id = f[static_cast<unsigned>(idCol)];
        const MdbField& type = f[static_cast<unsigned>(typeCol)];
        const MdbField& nameField = f[static_cast<unsigned>(nameCol)];
        const MdbField& flags = f[static_cast<unsigned>(flagsCol)];
        if (id.is_null || type.is_null || nameField.is_null || id.siz < 4 || type.siz < 2)
            return;
        const unsigned char* page = src.mdb->pg_buf;
        if (static_cast<std::int16_t>(get16(page + type.start)) != kObjectTypeTable)
            return;
        sawTable = true;
        const std::uint32_t flagBits =
            flags.is_null || flags.siz < 4 ? 0 : get32(page + flags.start);
        decodeText(src, page + nameField.start, static_cast<std::size_t>(nameField.siz), name);
        if ((flagBits & kSystemObjectFlags) != 0 || name.rfind("MSys", 0) == 0 || name.empty())
            return;
        // Access allows no control characters in a name; a NUL would also cut
        // the name short wherever it is handed on as C text.
        if (std::any_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < 0x20; }))
            damaged(src);
        tables.push_back({name, get32(page + id.start) & 0x00FFFFFFu});
    });
    // Every database lists at least its own system tables.
    if (!sawTable)
        damaged(src);
    src.damageError = kDamagedTable;
    return tables;
}

} // namespace korvalt::access
