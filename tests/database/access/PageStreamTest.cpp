#include "database/access/PageStream.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace korvalt::access {
namespace {

struct Read {
    long offset;
    std::size_t length;
};

// Reads through the stream, as libmdb does (seek to the end, back, read),
// must give the file's bytes wherever the two small windows stand: inside
// one window, across a window's end, alternating between two regions, at
// and beyond the end of a file whose size is not a multiple of the window.
TEST(PageStream, GivesTheFileBytesForEveryReadPattern) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("pages.bin").toStdString();
    std::string content(1000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    std::ofstream(path, std::ios::binary) << content;

    const std::vector<Read> reads = {
        {0, 10},    {10, 50},  {90, 20},  {900, 64}, {100, 30}, {905, 10},
        {400, 300}, {990, 10}, {995, 20}, {1000, 4}, {1200, 8}, {0, 1000},
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(openPageStream(path, 100),
                                                                 &std::fclose);
    ASSERT_NE(stream, nullptr);
    for (const Read& read : reads) {
        SCOPED_TRACE(std::to_string(read.offset) + "+" + std::to_string(read.length));
        ASSERT_EQ(fseeko(stream.get(), 0, SEEK_END), 0);
        EXPECT_EQ(ftello(stream.get()), 1000);
        ASSERT_EQ(fseeko(stream.get(), read.offset, SEEK_SET), 0);
        std::string got(read.length, '?');
        const std::size_t count = std::fread(got.data(), 1, read.length, stream.get());
        const std::string expected =
            read.offset >= 1000
                ? std::string()
                : content.substr(static_cast<std::size_t>(read.offset), read.length);
        EXPECT_EQ(got.substr(0, count), expected);
        EXPECT_FALSE(std::ferror(stream.get()));
    }
}

TEST(PageStream, IsNullForAFileThatCannotBeOpened) {
    QTemporaryDir dir;
    EXPECT_EQ(openPageStream(dir.filePath("missing.mdb").toStdString()), nullptr);
}

} // namespace
} // namespace korvalt::access
