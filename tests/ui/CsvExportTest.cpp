#include "ui/CsvExport.h"
#include "ui/ResultsListView.h"

#include <gtest/gtest.h>

#include <map>
#include <span>
#include <sstream>

namespace korvalt {
namespace {

std::string written(const std::string& title, std::int16_t layout, const ResultsListView& list) {
    std::ostringstream out;
    CsvExport::writeList(out, title, layout, list);
    return out.str();
}

// A sorted list of several megabytes, with double quotes and sub-items never
// set, goes out piece by piece, every row with as many fields as the
// layout's headings.
TEST(CsvExportTest, ListIsWrittenInTheOrderShownOneQuotedFieldPerHeading) {
    ResultsListView list;
    std::map<std::string, std::string> lines; // by row text, which sorts them
    for (int i = 0; i < 20000; ++i) {
        const std::string text = "DWG-" + std::to_string(10000 + (i * 7919) % 20000);
        const std::string said = "say \"" + std::to_string(i) + "\" " + std::string(300, 'p');
        const std::vector<std::string_view> cells = {text, said, "", "L", "", "S", "dropped"};
        list.addRow(std::span(cells.data(), i % 3 == 0 ? 1 : cells.size()));
        lines[text] = "\"" + text + "\"," +
                      (i % 3 == 0 ? "\"\",\"\",\"\",\"\",\"\"\r\n"
                                  : "\"say \"\"" + std::to_string(i) + "\"\" " +
                                        std::string(300, 'p') + "\",\"\",\"L\",\"\",\"S\"\r\n");
    }
    list.setSorted(true);
    std::string expected = "\"A \"\"B\"\"\"\r\n\"\"\r\n\"Model Tag\",\"Drawing\",\"Line Number\","
                           "\"Long Description\",\"Short Description\",\"Size\"\r\n";
    for (const auto& [text, line] : lines)
        expected += line;
    EXPECT_TRUE(written("A \"B\"", 11, list) == expected);

    // Layouts 7 and 21 share their headings; an unknown one writes the search's.
    const ResultsListView none;
    EXPECT_EQ(written("", 21, none), "\"\"\r\n\"\"\r\n\"Drawing\",\"Description\",\"Line "
                                     "Number\",\"Size\",\"Tag\"\r\n");
    EXPECT_EQ(written("", 22, none), "\"\"\r\n\"\"\r\n\"Drawing Number\"\r\n");
    EXPECT_EQ(written("", 1, none), written("", 18, none));
}

} // namespace
} // namespace korvalt
