#pragma once

#include "database/odbc/OdbcRowset.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvalt::odbc {

// PostgreSQL's driver does a good deal of work for every field it hands out,
// several times what the server spends sending it: a million records of
// twelve columns cost it seconds. A query's records are therefore asked for
// as one text each, the record's own text form, and taken apart here. The
// server still filters, groups and sorts; the query keeps its parallel plan,
// which a server cursor would lose.

// The query with each record as one text value, in the query's order.
std::string packedQuery(std::string_view query);
// The query with no records, to learn its columns' names and types.
std::string emptyQuery(std::string_view query);

// Appends the fields of one record text ("(a,,\"b c\",2.5)") to `batch`,
// converted by `kinds`: an empty field is Null, a quoted one text in which
// doubled quotes and backslashes stand for one. Raises EngineError when the
// text does not hold the record it should.
void unpackRecord(std::string_view record, const std::vector<ColumnKind>& kinds, RowBatch& batch);

} // namespace korvalt::odbc
