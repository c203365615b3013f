#pragma once

#include "database/Recordset.h"

#include <memory>

namespace korvalt {
class ResultsListView;
}

namespace korvalt::bench {

// The duplicate-tag check done the plain way, as the yardstick for the fast
// one: one engine query per candidate record, and a scan of the whole list
// before every row is appended.
class DuplicateTagReference {
public:
    static void write(ResultsListView& list, std::unique_ptr<Recordset>& records);
};

} // namespace korvalt::bench
