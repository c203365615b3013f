#include "startup/IniFile.h"
#include "support/ProcessFixture.h"

#include <algorithm>
#include <filesystem>

namespace korvalt::testing {
namespace {

using namespace std::string_literals; // "..."s keeps embedded NUL bytes

std::string rep(std::string_view unit, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i)
        s += unit;
    return s;
}

using IniFileTest = ProcessFixture;

// Key "k" of section "s", read with the default "Unknown".
TEST_F(IniFileTest, ReadsEntriesAsThePrivateProfileFunctionsDo) {
    const std::string a148 = rep("a", 148), e = "\xC3\xA9";
    const struct {
        std::string content, expected;
        std::size_t size = 150;
    } cases[] = {
        {"\xEF\xBB\xBF[a]\r\nk=0\r\n[s]\r\nk=C:\\x y\r\n", "C:\\x y"},
        {"  [ S ]  \n\t K \t=   a b  \t\n", "a b"},
        {"[s]\nk=\"  a b  \"\n", "  a b  "},
        {"[s]\nk='x'\n", "x"},
        {"[s]\nk=\"x'\n", "\"x'"},
        {"[s]\nk=\"\n", "\""},
        {"[s]\nk=\"\"x\"\"\n", "\"x\""},
        {"[s]\nk=   \n", ""},
        {"[s]\nother=1\n[t]\nk=2\n", "Unknown"},
        {"k=1\n[t]\n[s\nk=1", "Unknown"},
        {"[s]\nk=first\nK=x\n[S]\nK=second\n", "first"},
        {"[s]\na=1\n[s]\nk=2\n", "Unknown"},
        {"[s] ; note\nk\n;k=old\n  ; k=old\nk=a ; b=c", "a ; b=c"},
        {"[s]\nk=" + rep(e, 150) + "\n", rep(e, 149)},
        {"[s]\nk=" + rep("\xE2\x82\xAC", 201) + "\n", rep("\xE2\x82\xAC", 199), 200},
        {"[s]\nk=" + a148 + "\xF0\x9F\x98\x80!\n", a148 + "\xF0\x9F\x98\x80"},
        {"[s]\nk=a" + a148 + "\xE2\x82\xAC\n", "a" + a148},
        {"[s]\nk=\"" + rep("q", 160) + "\"\n", rep("q", 149)},
        {"[s]\nk=\xC3\xC3\xE2\x82\n", "\xC3\xC3", 3},
        {"[s]\nk=\xC3\xC3\xE2\x82\n", "\xC3\xC3\xE2\x82"},
        {"[s]\nk=abc\n", "", 1},
        {"[s]\nk=abc\n", "", 0},
        {"\0[\xFF]\r\r\n=\n[\n]\n\xC3\n[s]\n"s + rep("x", 1 << 20) + "\nk=found\n", "found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 60));
        writeFile("case.ini", c.content);
        EXPECT_EQ(IniFile::getString("s", "k", "Unknown", c.size, tempPath("case.ini")),
                  c.expected);
    }
    // A missing file, or a folder in its place, gives the default, cut and trimmed.
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 4, tempPath("none.ini")), "Unk");
    EXPECT_EQ(IniFile::getString("s", "k", "none  ", 150, tempPath("none.ini")), "none");
    EXPECT_EQ(IniFile::getString("s", "k", rep(e, 9), 5, tempPath("")), rep(e, 4));
}

// Writing key "k" of section "s": every other byte stays, and a second
// write of the same value changes nothing.
TEST_F(IniFileTest, WriteKeepsEveryOtherByte) {
    const struct {
        std::string before, value, after;
    } cases[] = {
        {"", "/p.mdb", "[s]\nk=/p.mdb\n"},
        {"; c\n[o]\nk=1\n\n[S]\n  K = old\nodd\nk=2\n[t]", "new",
         "; c\n[o]\nk=1\n\n[S]\n  K =new\nodd\nk=2\n[t]"},
        {"[s]\na=1\n;note\n\n\n[t]\nb=2\n", "v", "[s]\na=1\n;note\nk=v\n\n\n[t]\nb=2\n"},
        {"[a]\nx=1\n[s]", "v", "[a]\nx=1\n[s]\nk=v\n"},
        {"[s]\na=1\n[s]\nk=old\n", "v", "[s]\na=1\nk=v\n[s]\nk=old\n"},
        {"[a]\nx=1", "v", "[a]\nx=1\n[s]\nk=v\n"},
        {"[a]\r\nx=1\r\n[s]\r\nk=old\r\n", "new", "[a]\r\nx=1\r\n[s]\r\nk=new\r\n"},
        {"[a]\r\nx=1", "v", "[a]\r\nx=1\r\n[s]\r\nk=v\r\n"},
        {"\xEF\xBB\xBF[s]\nk=old\n", "n", "\xEF\xBB\xBF[s]\nk=n\n"},
        {"[s]\n;k=old\n", "", "[s]\n;k=old\nk=\n"},
        {"\x01\xFF\0j\n[s]\nk=1\n"s, "'2'", "\x01\xFF\0j\n[s]\nk='2'\n"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        const std::string file = tempPath("write.ini");
        std::filesystem::remove(file);
        if (!c.before.empty())
            writeFile("write.ini", c.before);
        for (int again = 0; again < 2; ++again) {
            ASSERT_TRUE(IniFile::writeString("s", "k", c.value, file));
            EXPECT_EQ(readFile(file), c.after);
        }
        EXPECT_EQ(IniFile::getString("s", "k", "-", 300, file), c.value == "'2'" ? "2" : c.value);
    }
}

TEST_F(IniFileTest, RefusedWritesLeaveEverythingAsItWas) {
    const std::string file = writeFile("refuse.ini", "[s]\nk=old\n");
    const std::string longName = writeFile(rep("n", 250), "[s]\r\nk=old\r\n");
    std::filesystem::create_directory(tempPath("folder.ini"));
    const struct {
        std::string section, key, value, file;
    } cases[] = {{"s", "k", "two\nlines", file},
                 {"s", "k", "cr\rhere", file},
                 {"s\n[t]", "k", "v", file},
                 {"s", "a=b", "v", file},
                 {"s", ";k", "v", file},
                 {"  ", "k", "v", file},
                 {"s", "", "v", file},
                 {"s", "k", "v", tempPath("no/a.ini")},
                 {"s", "k", "v", file + "/a.ini"},
                 {"s", "k", "v", tempPath("folder.ini")},
                 {"s", "k", "v", longName}};
    for (const auto& c : cases)
        EXPECT_FALSE(IniFile::writeString(c.section, c.key, c.value, c.file)) << c.file;
    EXPECT_EQ(readFile(file), "[s]\nk=old\n");
    EXPECT_EQ(readFile(longName), "[s]\r\nk=old\r\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path().toStdString()), {}), 3);
}

} // namespace
} // namespace korvalt::testing
