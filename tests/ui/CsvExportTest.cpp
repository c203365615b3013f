#include "database/EngineError.h"
#include "ui/CsvExport.h"
#include "ui/ResultsListView.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace korvalt {
namespace {

TEST(CsvExportTest, EveryValueIsQuotedWithItsDoubleQuotesDoubled) {
    const struct {
        std::string value;
        std::string field;
    } cases[] = {
        {"", "\"\""},
        {"AREA1.dwg", "\"AREA1.dwg\""},
        {"4\"-P-1001-CS150", "\"4\"\"-P-1001-CS150\""},
        {"\"", "\"\"\"\""},
        {"\"\"", "\"\"\"\"\"\""},
        {"a,b", "\"a,b\""},
        {"   ", "\"   \""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"R\xC3\xBC", "\"R\xC3\xBC\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvExport::quote(c.value), c.field) << c.value;
}

TEST(CsvExportTest, RowsHoldAsManyFieldsAsTheHeadingLine) {
    std::set<int> read;
    const auto cell = [&](int position, int column) {
        read.insert(column);
        return std::to_string(position) + ":" + std::to_string(column);
    };
    EXPECT_EQ(CsvExport::render("T", 20, 2, cell),
              "\"T\"\r\n\"\"\r\n\"Line Number\"\r\n\"0:0\"\r\n\"1:0\"\r\n");
    EXPECT_EQ(read, std::set<int>{0});

    read.clear();
    const std::string text = CsvExport::render("T", 11, 1, cell);
    EXPECT_TRUE(text.ends_with("\r\n\"0:0\",\"0:1\",\"0:2\",\"0:3\",\"0:4\",\"0:5\"\r\n")) << text;
    EXPECT_EQ(read, (std::set<int>{0, 1, 2, 3, 4, 5}));
}

TEST(CsvExportTest, WithoutRowsOnlyTheThreeHeadLinesAreWritten) {
    const auto none = [](int, int) -> std::string {
        ADD_FAILURE() << "no cell may be read";
        return {};
    };
    EXPECT_EQ(CsvExport::render("List of Drawing Numbers in Database", 22, 0, none),
              "\"List of Drawing Numbers in Database\"\r\n\"\"\r\n\"Drawing Number\"\r\n");
    // A title is a value like any other.
    EXPECT_EQ(CsvExport::render("say \"hi\"", 22, 0, none).substr(0, 14), "\"say \"\"hi\"\"\"\r\n");
}

TEST(CsvExportTest, SearchHeadingsServeTheFirstLayoutAndUnknownCodes) {
    const std::vector<const char*>& search = CsvExport::headings(18);
    ASSERT_EQ(search.size(), 11u);
    EXPECT_STREQ(search[3], "Specification");
    EXPECT_STREQ(search[10], "Short Description");
    EXPECT_EQ(CsvExport::headings(1), search);
    EXPECT_EQ(CsvExport::headings(5), search);
    EXPECT_EQ(CsvExport::headings(7), CsvExport::headings(21));
}

// A list of a few megabytes, sorted, with quotes and unset sub-items: the
// file written from it piece by piece, to a path or a stream, is the text
// render() gives for it.
TEST(CsvExportTest, ListIsStreamedAsRenderWouldWriteIt) {
    ResultsListView list;
    for (int k = 0; k < 11; ++k)
        list.addColumn(QString("C%1").arg(k), 10);
    const std::string padding(300, 'p');
    for (int i = 0; i < 20000; ++i) {
        const std::string text = "DWG-" + std::to_string((i * 7919) % 20000);
        const std::string quoted = "say \"" + std::to_string(i) + "\" " + padding;
        std::vector<std::string_view> cells = {text, quoted, "", "L"};
        if (i % 3 == 0)
            cells.resize(1); // sub-items never set
        list.addRow(cells);
    }
    list.setSortOrder(1);
    list.setSorted(true);
    const std::string expected =
        CsvExport::render("Selective \"List\"", 18, list.count(), [&](int position, int column) {
            return column == 0 ? list.text(position) : list.subItem(position, column);
        });
    ASSERT_GT(expected.size(), 4u << 20);
    EXPECT_NE(expected.find("\",\"say \"\"1\"\" ppp"), std::string::npos);

    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/list.csv";
    CsvExport::writeList(path, "Selective \"List\"", 18, list);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream file;
    file << in.rdbuf();
    EXPECT_TRUE(file.str() == expected);

    std::ostringstream out;
    CsvExport::writeList(out, "Selective \"List\"", 18, list);
    EXPECT_TRUE(out.str() == expected);
}

TEST(CsvExportTest, UnwritableTargetRaisesPathFileAccessError) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/missing/out.csv";
    try {
        CsvExport::writeFile(path, "\"x\"\r\n");
        FAIL() << "no error raised";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.number(), 75);
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
    try {
        CsvExport::writeList(path, "T", 20, ResultsListView());
        FAIL() << "no error raised";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.number(), 75);
    }
}

} // namespace
} // namespace korvalt
