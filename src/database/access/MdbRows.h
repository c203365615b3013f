#pragma once

#include "database/access/JetFormat.h"

// glib must come before mdbtools, which relies on its types being declared.
#include <glib.h>
#include <mdbtools.h>

#include <iconv.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvalt::access {

// Reading the rows of an Access file. libmdb opens the file, reads table
// definitions and usage maps and splits rows into fields; the rows
// themselves are walked here, with every page number, row and field offset
// and long-value chain checked, because libmdb 1.0 trusts the file and has
// the deleted and moved-row flags the wrong way round.

struct MdbCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbCloser>;

struct TableDefFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefFreer>;

// The file as checked before libmdb touches it.
struct JetFile {
    int pageSize = 0;
    std::uint32_t pageCount = 0;
};

// Checks page 0 (a Jet 3 or Jet 4 database) and that the file is a whole
// number of pages reaching the catalog. Raises 3024 or 3343.
JetFile inspectFile(const std::string& path);

// What the row walker needs to know about the open file.
struct Source {
    MdbHandle* mdb = nullptr;
    std::string path;
    JetFile file;
    bool jet3 = false;
    iconv_t codePage = nullptr; // Jet 3 text
    int damageError = 0;        // raised for what cannot be read
    std::string longValue;      // scratch for memo and OLE values
};

[[noreturn]] void throwUnrecognized(const std::string& path);
[[noreturn]] void damaged(const Source& src);

// Text of the file's generation into UTF-8.
void decodeText(const Source& src, const unsigned char* p, std::size_t n, std::string& out);

// Reads a memo or OLE value whose 12-byte header sits in the row; the bytes
// end up in src.longValue.
void readLongValue(Source& src, const unsigned char* field, int fieldSize);

// Calls onRow(fields, row) for every live row of the table, in page order,
// with fields[i] describing table column i (values point into
// src.mdb->pg_buf) and `row` the row's address in the file: its header slot
// for a row that moved, which is where indexes point.
using RowCallback = std::function<void(const std::vector<MdbField>&, RowId)>;
void forEachRow(Source& src, MdbTableDef* table, const RowCallback& onRow);

// Reads a table definition and its columns; null when they cannot be read.
TableDefPtr readMdbTableDef(MdbCatalogEntry& entry);
MdbColumn* column(MdbTableDef* table, unsigned i);
MdbCatalogEntry makeEntry(MdbHandle* mdb, const std::string& name, unsigned long tdefPage);

struct CatalogTable {
    std::string name;
    unsigned long tdefPage = 0;
};

// Lists the user tables from MSysObjects, read with the same row walker as
// the data (libmdb's own catalog reader has the row flag mix-up too).
std::vector<CatalogTable> readCatalog(Source& src);

} // namespace korvalt::access
