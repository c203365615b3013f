#include "database/access/IndexPage.h"

#include "IndexTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvalt::access {
namespace {

using Entry = std::vector<std::uint8_t>;

std::vector<std::uint8_t> blankPage(const JetFormat& format, std::uint8_t type) {
    std::vector<std::uint8_t> page(static_cast<std::size_t>(format.pageSize), 0);
    page[0] = type;
    page[1] = 0x01;
    return page;
}

std::size_t prefixOf(const JetFormat& format, const std::uint8_t* page) {
    return format.prefixIsByte ? page[format.indexPrefix] : get16(page + format.indexPrefix);
}

class IndexPageFormats : public ::testing::TestWithParam<bool> {
protected:
    const JetFormat& format() const {
        return GetParam() ? JetFormat::jet3Format() : JetFormat::jet4Format();
    }
};

// The shared prefix may reach through the key into the page bytes but never
// takes the row byte (nor a node's child page); the header bytes the page
// model does not know survive, and leftovers past the entries are cleared.
TEST_P(IndexPageFormats, PrefixSharesPageBytesButNeverTheRowByte) {
    IndexPage page;
    page.owner = 12;
    page.next = 78;
    for (std::uint8_t row = 0; row < 100; ++row)
        page.entries.push_back(makeEntry({0x7F, 0x01}, 0x2A, row));
    auto image = blankPage(format(), kPageIndexLeaf);
    const auto unknown =
        static_cast<std::size_t>(format().indexPrefix + (format().prefixIsByte ? 1 : 2));
    image[unknown] = 0x01;
    image[static_cast<std::size_t>(format().indexEntries + 500)] = 0xEE;
    ASSERT_TRUE(page.write(format(), image.data()));
    EXPECT_EQ(prefixOf(format(), image.data()), 5u); // each later entry is its row byte alone
    EXPECT_EQ(get16(image.data() + 2), static_cast<std::uint32_t>(format().indexCapacity - 105));
    EXPECT_EQ(image[unknown], 0x01);
    EXPECT_EQ(image[static_cast<std::size_t>(format().indexEntries + 500)], 0x00);
    IndexPage back;
    std::string fault;
    ASSERT_TRUE(IndexPage::parse(format(), image.data(), 77, back, fault)) << fault;
    EXPECT_EQ(back.entries, page.entries);
    EXPECT_EQ(back.owner, 12u);
    EXPECT_EQ(back.next, 78u);
    EXPECT_EQ(back.usedBytes, 105u);
    // The rows as the tree scan reads them, without expanding the entries:
    // all but the row byte of each later entry lies in the shared prefix.
    IndexPageHeader header;
    IndexEntries ends;
    std::vector<RowId> rows;
    ASSERT_TRUE(
        parseIndexPage(format(), image.data(), 77, ExpandEntries::Ends, header, ends, rows, fault));
    ASSERT_EQ(rows.size(), 100u);
    for (std::uint8_t row = 0; row < 100; ++row)
        EXPECT_EQ(rows[row], rowId(0x2A, row));
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends.copy(1), page.entries.back());

    // A key that begins with the whole of the first entry shares only up to
    // that entry's page bytes.
    const Entry shortKey = makeEntry({0x7F, 0x01}, 0x2A, 5);
    const Entry longKey = makeEntry({0x7F, 0x01, 0x00, 0x00, 0x2A, 0x05, 0x09}, 1, 0);
    for (const bool leaf : {true, false}) {
        page.leaf = leaf;
        page.entries = {shortKey, longKey};
        if (!leaf)
            page.entries = {makeNodeEntry(shortKey, 300), makeNodeEntry(longKey, 301)};
        ASSERT_TRUE(page.write(format(), image.data()));
        EXPECT_EQ(prefixOf(format(), image.data()), 5u) << (leaf ? "leaf" : "node");
        ASSERT_TRUE(IndexPage::parse(format(), image.data(), 1, back, fault)) << fault;
        EXPECT_EQ(back.entries, page.entries);
    }
}

INSTANTIATE_TEST_SUITE_P(Jet, IndexPageFormats, ::testing::Values(true, false),
                         [](const auto& param) { return param.param ? "Jet3" : "Jet4"; });

} // namespace
} // namespace korvalt::access
