#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt {

class ResultsListView;

// The comma-delimited file of a report: the title, a line with one empty
// field, the heading line of the layout and one line per row, every field
// quoted and every line ended by CR LF.
class CsvExport {
public:
    // Headings written for a layout; their count is the number of fields
    // of each row line.
    static const std::vector<const char*>& headings(std::int16_t layout);

    // The file of the rows of a list, in the order shown, written to `path`
    // or to `out`. The text goes out piece by piece, so a list of any size
    // needs no copy of it in memory. A path is written through a temporary
    // file beside it, so a failure never leaves a partial file in place of
    // an earlier one; where the folder lets no new file be created but the
    // file itself may be overwritten, the file is written directly instead.
    // Throws EngineError (75) with a description on failure.
    static void writeList(const std::string& path, const std::string& title, std::int16_t layout,
                          const ResultsListView& list);
    static void writeList(std::ostream& out, const std::string& title, std::int16_t layout,
                          const ResultsListView& list);

private:
    // Where the text goes, a piece at a time.
    using Sink = std::function<void(std::string_view piece)>;
    using RowSource = std::function<void(int position, std::vector<std::string_view>& cells)>;
    static void stream(const std::string& title, std::int16_t layout, int rowCount,
                       const RowSource& row, const Sink& sink);
};

} // namespace korvalt
