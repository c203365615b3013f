#include "database/MdbImport.h"

#include "database/EngineError.h"

// glib must come before mdbtools, which relies on its types being declared.
#include <glib.h>
#include <mdbtools.h>

#include <iconv.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace korvalt {

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

// Days from 1899-12-30 (day 0 of an Access date) to 1970-01-01.
constexpr long long kDaysToUnixEpoch = 25569;

struct MdbCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbCloser>;

struct TableDefFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefFreer>;

struct IconvCloser {
    void operator()(std::remove_pointer_t<iconv_t>* cd) const { iconv_close(cd); }
};
using IconvPtr = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void throwUnrecognized(const std::string& path) {
    throw EngineError(engine_errors::kUnrecognizedFormat,
                      "Unrecognized database format '" + path + "'.");
}

[[noreturn]] void throwDamaged(int number, const std::string& path) {
    if (number == engine_errors::kUnrecognizedFormat)
        throwUnrecognized(path);
    throw EngineError(number, "Cannot open database '" + path +
                                  "'. It may not be a database that your application "
                                  "recognizes, or the file may be corrupt.");
}

[[noreturn]] void throwSqlite(sqlite3* db, const std::string& what) {
    throw EngineError(engine_errors::kGeneral, what + ": " + sqlite3_errmsg(db));
}

std::uint32_t le16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t le32(const unsigned char* p) {
    return le16(p) | le16(p + 2) << 16;
}

std::uint64_t le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(le32(p)) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
}

double parseDecimal(std::string_view text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

constexpr std::uint32_t kReplacementChar = 0xFFFD;

// Appends one UTF-16 code unit; `high` carries a pending high surrogate.
void appendUtf16Unit(std::string& out, std::uint32_t unit, std::uint32_t& high) {
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (high != 0)
            appendUtf8(out, kReplacementChar);
        high = unit;
        return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        appendUtf8(out, high != 0 ? 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00)
                                  : kReplacementChar);
        high = 0;
        return;
    }
    if (high != 0) {
        appendUtf8(out, kReplacementChar);
        high = 0;
    }
    appendUtf8(out, unit);
}

// Jet 4 text: UCS-2 little endian, or, behind the marker FF FE, "compressed":
// single bytes (code units below 256) and a 00 byte switching to and from
// plain two-byte units.
void decodeJet4Text(const unsigned char* p, std::size_t n, std::string& out) {
    out.clear();
    std::uint32_t high = 0;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        std::size_t i = 2;
        while (i < n) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                appendUtf16Unit(out, p[i], high);
                ++i;
            } else if (i + 1 < n) {
                appendUtf16Unit(out, le16(p + i), high);
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (std::size_t i = 0; i + 1 < n; i += 2)
            appendUtf16Unit(out, le16(p + i), high);
    }
    if (high != 0)
        appendUtf8(out, kReplacementChar);
}

// Jet 3 text: bytes in the database's code page.
void decodeJet3Text(iconv_t cd, const unsigned char* p, std::size_t n, std::string& out) {
    out.clear();
    if (std::all_of(p, p + n, [](unsigned char c) { return c < 0x80; })) {
        out.assign(reinterpret_cast<const char*>(p), n);
        return;
    }
    if (cd == nullptr) { // no converter at all: read the bytes as Latin-1
        for (std::size_t i = 0; i < n; ++i)
            appendUtf8(out, p[i]);
        return;
    }
    out.resize(n * 4 + 4);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(reinterpret_cast<const char*>(p));
    std::size_t inLeft = n;
    char* dest = out.data();
    std::size_t destLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dest, &destLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG || destLeft < 3)
            break;
        // Unmappable or cut-off byte: mark it and keep going after it.
        std::memcpy(dest, "\xEF\xBF\xBD", 3);
        dest += 3;
        destLeft -= 3;
        ++in;
        --inLeft;
    }
    out.resize(out.size() - destLeft);
}

IconvPtr openCodePage(int codePage) {
    std::vector<std::string> names;
    if (codePage > 0) {
        names.push_back("CP" + std::to_string(codePage));
        names.push_back("WINDOWS-" + std::to_string(codePage));
    }
    names.emplace_back("CP1252");
    for (const std::string& name : names) {
        iconv_t cd = iconv_open("UTF-8", name.c_str());
        if (cd != reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1)))
            return IconvPtr(cd);
    }
    return IconvPtr();
}

// The file as checked before libmdb touches it.
struct JetFile {
    int pageSize = 0;
    std::uint32_t pageCount = 0;
};

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

// What the row walker needs to know about the open file.
struct Source {
    MdbHandle* mdb = nullptr;
    std::string path;
    JetFile file;
    bool jet3 = false;
    iconv_t codePage = nullptr; // Jet 3 text
    int damageError = kDamagedTable;
    std::string longValue; // scratch for memo and OLE values
};

[[noreturn]] void damaged(const Source& src) {
    throwDamaged(src.damageError, src.path);
}

void decodeText(const Source& src, const unsigned char* p, std::size_t n, std::string& out) {
    if (src.jet3)
        decodeJet3Text(src.codePage, p, n, out);
    else
        decodeJet4Text(p, n, out);
}

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

// Reads a memo or OLE value whose 12-byte header sits in the row; the bytes
// end up in src.longValue.
void readLongValue(Source& src, const unsigned char* field, int fieldSize) {
    std::string& out = src.longValue;
    out.clear();
    if (fieldSize == 0)
        return;
    if (fieldSize < kLongValueHeaderSize)
        damaged(src);
    const std::uint32_t header = le32(field);
    const std::size_t length = header & kLongValueLengthMask;
    std::uint32_t pgRow = le32(field + 4);
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
            pgRow = le32(reinterpret_cast<const unsigned char*>(row.data()));
            out.append(row.substr(4, std::min(row.size() - 4, length - out.size())));
        }
    }
}

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

// Calls onRow(fields) for every live row of the table, in page order, with
// fields[i] describing table column i. Values point into src.mdb->pg_buf.
template <typename RowFn> void forEachRow(Source& src, MdbTableDef* table, RowFn&& onRow) {
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
        if (mdb->pg_buf[0] != MDB_PAGE_DATA || le32(mdb->pg_buf + 4) != owner)
            continue; // a page the map still lists but that now belongs elsewhere
        const std::uint32_t rows = std::min(le16(mdb->pg_buf + rowCountOffset), maxRows);
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
                const std::uint32_t target = le32(mdb->pg_buf + (start & kOffsetMask));
                loadPage(src, target >> 8);
                int movedStart = 0;
                std::size_t movedSize = 0;
                if (mdb->pg_buf[0] != MDB_PAGE_DATA ||
                    mdb_find_row(mdb, static_cast<int>(target & 0xff), &movedStart, &movedSize) !=
                        0 ||
                    movedSize == 0 || (movedStart & kOverflowRow))
                    damaged(src);
                crackRow(src, table, movedStart & kOffsetMask, movedSize, fields);
                onRow(fields);
                loadPage(src, page);
                continue;
            }
            crackRow(src, table, start & kOffsetMask, size, fields);
            onRow(fields);
        }
    }
}

// Reads a table definition and its columns; null when they cannot be read.
TableDefPtr readTableDef(MdbCatalogEntry& entry) {
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

struct CatalogTable {
    std::string name;
    unsigned long tdefPage = 0;
};

// Lists the user tables from MSysObjects, read with the same row walker as
// the data (libmdb's own catalog reader has the row flag mix-up too).
std::vector<CatalogTable> readCatalog(Source& src) {
    src.damageError = engine_errors::kUnrecognizedFormat;
    MdbCatalogEntry entry = makeEntry(src.mdb, "MSysObjects", kCatalogPage);
    TableDefPtr table = readTableDef(entry);
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
    forEachRow(src, table.get(), [&](const std::vector<MdbField>& f) {
        const MdbField& id = f[static_cast<unsigned>(idCol)];
        const MdbField& type = f[static_cast<unsigned>(typeCol)];
        const MdbField& nameField = f[static_cast<unsigned>(nameCol)];
        const MdbField& flags = f[static_cast<unsigned>(flagsCol)];
        if (id.is_null || type.is_null || nameField.is_null || id.siz < 4 || type.siz < 2)
            return;
        const unsigned char* page = src.mdb->pg_buf;
        if (static_cast<std::int16_t>(le16(page + type.start)) != kObjectTypeTable)
            return;
        sawTable = true;
        const std::uint32_t flagBits =
            flags.is_null || flags.siz < 4 ? 0 : le32(page + flags.start);
        decodeText(src, page + nameField.start, static_cast<std::size_t>(nameField.siz), name);
        if ((flagBits & kSystemObjectFlags) != 0 || name.rfind("MSys", 0) == 0 || name.empty())
            return;
        tables.push_back({name, le32(page + id.start) & 0x00FFFFFFu});
    });
    // Every database lists at least its own system tables.
    if (!sawTable)
        damaged(src);
    src.damageError = kDamagedTable;
    return tables;
}

enum class Kind {
    Bool,
    Byte,
    Int16,
    Int32,
    Money,
    Single,
    Double,
    Date,
    Numeric,
    Guid,
    Text,
    Memo,
    Binary,
    Ole
};

struct ColumnPlan {
    Kind kind = Kind::Binary;
    int fixedSize = 0; // bytes a present fixed-size value needs
    int scale = 0;     // decimal only
    std::string buffer;
};

ColumnPlan planColumn(const MdbColumn* col) {
    ColumnPlan plan;
    switch (col->col_type) {
    case MDB_BOOL:
        plan.kind = Kind::Bool;
        break;
    case MDB_BYTE:
        plan.kind = Kind::Byte;
        plan.fixedSize = 1;
        break;
    case MDB_INT:
        plan.kind = Kind::Int16;
        plan.fixedSize = 2;
        break;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        plan.kind = Kind::Int32;
        plan.fixedSize = 4;
        break;
    case MDB_MONEY:
        plan.kind = Kind::Money;
        plan.fixedSize = 8;
        break;
    case MDB_FLOAT:
        plan.kind = Kind::Single;
        plan.fixedSize = 4;
        break;
    case MDB_DOUBLE:
        plan.kind = Kind::Double;
        plan.fixedSize = 8;
        break;
    case MDB_DATETIME:
        plan.kind = Kind::Date;
        plan.fixedSize = 8;
        break;
    case MDB_NUMERIC:
        plan.kind = Kind::Numeric;
        plan.fixedSize = 17;
        // libmdb's col_prec holds the byte Access keeps the scale in.
        plan.scale = std::clamp(col->col_prec, 0, 38);
        break;
    case MDB_REPID:
        plan.kind = Kind::Guid;
        plan.fixedSize = 16;
        break;
    case MDB_TEXT:
        plan.kind = Kind::Text;
        break;
    case MDB_MEMO:
        plan.kind = Kind::Memo;
        break;
    case MDB_OLE:
        plan.kind = Kind::Ole;
        break;
    default: // binary and anything unknown: the raw bytes
        plan.kind = Kind::Binary;
        break;
    }
    return plan;
}

const char* sqlType(Kind kind) {
    switch (kind) {
    case Kind::Bool:
    case Kind::Byte:
    case Kind::Int16:
    case Kind::Int32:
        return "INTEGER";
    case Kind::Money:
    case Kind::Single:
    case Kind::Double:
    case Kind::Numeric:
        return "REAL";
    case Kind::Date:
        return "DATETIME";
    case Kind::Guid:
    case Kind::Text:
    case Kind::Memo:
        return "TEXT COLLATE NOCASE";
    case Kind::Binary:
    case Kind::Ole:
        return "BLOB";
    }
    return "BLOB";
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

double moneyValue(const unsigned char* p) {
    // Currency is a count of ten-thousandths; going through its decimal
    // spelling rounds once, so 0.1 arrives as the double nearest 0.1.
    const auto raw = static_cast<std::int64_t>(le64(p));
    const std::uint64_t magnitude =
        raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    std::array<char, 32> text{};
    char* end = text.data();
    if (raw < 0)
        *end++ = '-';
    end = std::to_chars(end, text.data() + text.size(), magnitude / 10000).ptr;
    *end++ = '.';
    const std::uint64_t fraction = magnitude % 10000;
    for (std::uint64_t unit = 1000; unit > 0; unit /= 10)
        *end++ = static_cast<char>('0' + (fraction / unit) % 10);
    return parseDecimal({text.data(), static_cast<std::size_t>(end - text.data())});
}

double numericValue(const unsigned char* p, int scale) {
    // Sign byte, then a 128-bit magnitude as four little-endian words, most
    // significant word first.
    __extension__ typedef unsigned __int128 Uint128;
    Uint128 magnitude = 0;
    for (int word = 0; word < 4; ++word)
        magnitude = magnitude << 32 | le32(p + 1 + 4 * word);
    std::array<char, 48> digits{};
    int count = 0;
    do {
        digits[static_cast<std::size_t>(count++)] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string text;
    if (p[0] & 0x80)
        text += '-';
    const int width = std::max(count, scale + 1);
    for (int i = width - 1; i >= 0; --i) {
        text += i < count ? digits[static_cast<std::size_t>(i)] : '0';
        if (i == scale && scale > 0)
            text += '.';
    }
    return parseDecimal(text);
}

// Formats an Access date (days since 1899-12-30; for earlier dates the time
// of day is still the positive fraction) as 'YYYY-MM-DD HH:MM:SS'. Returns
// false for values outside the years Access can show.
bool formatDate(double value, std::string& out) {
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0)
        return false;
    const double whole = std::trunc(value);
    long long day = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(value - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    using namespace std::chrono;
    const year_month_day date{sys_days{days{day - kDaysToUnixEpoch}}};
    std::array<char, 32> text{};
    const int n = std::snprintf(text.data(), text.size(), "%04d-%02u-%02u %02lld:%02lld:%02lld",
                                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                                static_cast<unsigned>(date.day()), seconds / 3600,
                                seconds / 60 % 60, seconds % 60);
    out.assign(text.data(), static_cast<std::size_t>(std::max(n, 0)));
    return true;
}

void formatGuid(const unsigned char* p, std::string& out) {
    std::array<char, 40> text{};
    const int n = std::snprintf(
        text.data(), text.size(),
        "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", p[3], p[2], p[1],
        p[0], p[5], p[4], p[7], p[6], p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    out.assign(text.data(), static_cast<std::size_t>(std::max(n, 0)));
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

void bindValue(Source& src, sqlite3_stmt* stmt, int param, const MdbField& field,
               ColumnPlan& plan) {
    if (plan.kind == Kind::Bool) {
        // A yes/no value lives in the null bitmap itself: set means Yes.
        sqlite3_bind_int(stmt, param, field.is_null ? 0 : -1);
        return;
    }
    if (field.is_null || field.siz < plan.fixedSize) {
        sqlite3_bind_null(stmt, param);
        return;
    }
    const unsigned char* p = src.mdb->pg_buf + field.start;
    const auto size = static_cast<std::size_t>(field.siz);
    std::string& buf = plan.buffer;
    switch (plan.kind) {
    case Kind::Bool:
        break;
    case Kind::Byte:
        sqlite3_bind_int(stmt, param, p[0]);
        break;
    case Kind::Int16:
        sqlite3_bind_int(stmt, param, static_cast<std::int16_t>(le16(p)));
        break;
    case Kind::Int32:
        sqlite3_bind_int(stmt, param, static_cast<std::int32_t>(le32(p)));
        break;
    case Kind::Money:
        sqlite3_bind_double(stmt, param, moneyValue(p));
        break;
    case Kind::Single: {
        // The shortest spelling of the single, so 0.1f arrives as 0.1 just as
        // Access shows it rather than as 0.100000001490116.
        const float single = std::bit_cast<float>(le32(p));
        if (!std::isfinite(single)) {
            sqlite3_bind_double(stmt, param, static_cast<double>(single));
            break;
        }
        std::array<char, 32> text{};
        const auto end = std::to_chars(text.data(), text.data() + text.size(), single).ptr;
        sqlite3_bind_double(
            stmt, param, parseDecimal({text.data(), static_cast<std::size_t>(end - text.data())}));
        break;
    }
    case Kind::Double:
        sqlite3_bind_double(stmt, param, std::bit_cast<double>(le64(p)));
        break;
    case Kind::Numeric:
        sqlite3_bind_double(stmt, param, numericValue(p, plan.scale));
        break;
    case Kind::Date: {
        const double value = std::bit_cast<double>(le64(p));
        if (formatDate(value, buf))
            sqlite3_bind_text(stmt, param, buf.data(), static_cast<int>(buf.size()), SQLITE_STATIC);
        else
            sqlite3_bind_double(stmt, param, value);
        break;
    }
    case Kind::Guid:
        formatGuid(p, buf);
        sqlite3_bind_text(stmt, param, buf.data(), static_cast<int>(buf.size()), SQLITE_STATIC);
        break;
    case Kind::Text:
        decodeText(src, p, size, buf);
        sqlite3_bind_text(stmt, param, buf.data(), static_cast<int>(buf.size()), SQLITE_STATIC);
        break;
    case Kind::Memo:
        readLongValue(src, p, field.siz);
        decodeText(src, reinterpret_cast<const unsigned char*>(src.longValue.data()),
                   src.longValue.size(), buf);
        sqlite3_bind_text64(stmt, param, buf.data(), buf.size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
    case Kind::Binary:
        buf.assign(reinterpret_cast<const char*>(p), size);
        sqlite3_bind_blob64(stmt, param, buf.data(), buf.size(), SQLITE_STATIC);
        break;
    case Kind::Ole:
        readLongValue(src, p, field.siz);
        buf.swap(src.longValue);
        sqlite3_bind_blob64(stmt, param, buf.data(), buf.size(), SQLITE_STATIC);
        break;
    }
}

void importTable(Source& src, const CatalogTable& entryInfo, sqlite3* db) {
    MdbCatalogEntry entry = makeEntry(src.mdb, entryInfo.name, entryInfo.tdefPage);
    TableDefPtr table = readTableDef(entry);
    if (!table)
        damaged(src);

    std::vector<ColumnPlan> plans;
    plans.reserve(table->num_cols);
    std::string create = "CREATE TABLE " + quoteIdentifier(entryInfo.name) + " (";
    std::string insert = "INSERT INTO " + quoteIdentifier(entryInfo.name) + " VALUES (";
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
        insert += i ? ", ?" : "?";
    }
    create += ")";
    insert += ")";
    exec(db, create);

    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, insert.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throwSqlite(db, "Cannot copy table '" + entryInfo.name + "'");
    const StatementPtr stmt(raw);

    unsigned int copied = 0;
    forEachRow(src, table.get(), [&](const std::vector<MdbField>& fields) {
        for (std::size_t i = 0; i < plans.size(); ++i)
            bindValue(src, stmt.get(), static_cast<int>(i + 1), fields[i], plans[i]);
        if (sqlite3_step(stmt.get()) != SQLITE_DONE)
            throwSqlite(db, "Cannot copy table '" + entryInfo.name + "'");
        sqlite3_reset(stmt.get());
        ++copied;
    });
    // The table definition counts its records. Fewer found means pages of
    // the table are missing (a cut or damaged file): showing the rest as if
    // it were the whole table would mislead.
    if (copied < table->num_rows)
        damaged(src);
}

} // namespace

void MdbImport::importInto(const std::string& path, sqlite3* target) {
    if (target == nullptr)
        throw EngineError(engine_errors::kGeneral, "No database to copy the Access tables into.");
    const JetFile file = inspectFile(path);

    const MdbHandlePtr mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb || mdb->fmt == nullptr || mdb->fmt->pg_size != file.pageSize)
        throwUnrecognized(path);

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
    Savepoint savepoint(target);
    for (const CatalogTable& table : tables)
        importTable(src, table, target);
    savepoint.release();
}

} // namespace korvalt
