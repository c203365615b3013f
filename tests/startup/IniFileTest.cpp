#include "startup/IniFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvalt {
namespace {

namespace fs = std::filesystem;

// A string literal with its embedded NUL bytes.
template <std::size_t N> std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

std::string repeat(std::string_view unit, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i)
        s += unit;
    return s;
}

class IniFileTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const {
        return (fs::path(dir_.path().toStdString()) / name).string();
    }

    static void put(const std::string& file, const std::string& content) {
        std::ofstream out(file, std::ios::binary);
        out << content;
    }

    static std::string get(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::vector<std::string> dirEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.path().toStdString()))
            names.push_back(e.path().filename().string());
        return names;
    }

    QTemporaryDir dir_;
};

struct ReadCase {
    const char* name;
    std::string content;
    std::string section;
    std::string key;
    std::size_t size;
    std::string expected;
};

TEST_F(IniFileTest, ReadsEntriesAsThePrivateProfileFunctionsDo) {
    const std::string path149 = repeat("a", 149);
    const std::vector<ReadCase> cases = {
        {"plain", "[db_address]\ndbaddress=C:\\data\\pipe.mdb\n", "db_address", "dbaddress", 150,
         "C:\\data\\pipe.mdb"},
        {"names ignore ASCII case", "[DB_Address]\nDBADDRESS=x\n", "db_address", "DbAddress", 150,
         "x"},
        {"blanks around names", "  [ db_address ]  \n\t dbaddress \t= x\n", " db_address",
         "dbaddress ", 150, "x"},
        {"value trimmed", "[s]\nk=   a b  \t\n", "s", "k", 150, "a b"},
        {"double quotes removed", "[s]\nk=\"  a b  \"\n", "s", "k", 150, "  a b  "},
        {"single quotes removed", "[s]\nk='x'\n", "s", "k", 150, "x"},
        {"unmatched quotes kept", "[s]\nk=\"x'\n", "s", "k", 150, "\"x'"},
        {"lone quote kept", "[s]\nk=\"\n", "s", "k", 150, "\""},
        {"only the outer pair removed", "[s]\nk=\"\"x\"\"\n", "s", "k", 150, "\"x\""},
        {"empty value is empty, not the default", "[s]\nk=\n", "s", "k", 150, ""},
        {"blank value is empty", "[s]\nk=   \n", "s", "k", 150, ""},
        {"quoted empty value", "[s]\nk=\"\"\n", "s", "k", 150, ""},
        {"literal Unknown returned as stored", "[s]\nk=Unknown\n", "s", "k", 150, "Unknown"},
        {"lower-case unknown returned as stored", "[s]\nk=unknown\n", "s", "k", 150, "unknown"},
        {"missing key", "[s]\nother=1\n", "s", "k", 150, "Unknown"},
        {"missing section", "[t]\nk=1\n", "s", "k", 150, "Unknown"},
        {"key of the next section not taken", "[s]\na=1\n[t]\nk=2\n", "s", "k", 150, "Unknown"},
        {"entry before any section not taken", "k=1\n[s]\n", "s", "k", 150, "Unknown"},
        {"first duplicated key wins", "[s]\nk=first\nK=second\n", "s", "k", 150, "first"},
        {"first duplicated section wins", "[s]\nk=first\n[S]\nk=second\n", "s", "k", 150, "first"},
        {"only the first duplicated section is searched", "[s]\na=1\n[s]\nk=2\n", "s", "k", 150,
         "Unknown"},
        {"line without '=' is no entry", "[s]\nk\nk=value\n", "s", "k", 150, "value"},
        {"comment line is no entry", "[s]\n;k=old\n  ; k=old\nk=new\n", "s", "k", 150, "new"},
        {"';' inside a value is kept", "[s]\nk=a ; b\n", "s", "k", 150, "a ; b"},
        {"'=' inside a value is kept", "[s]\nk=a=b\n", "s", "k", 150, "a=b"},
        {"text after the closing bracket ignored", "[s] ; note\nk=1\n", "s", "k", 150, "1"},
        {"unclosed bracket opens no section", "[s\nk=1\n", "s", "k", 150, "Unknown"},
        {"byte-order mark", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", 150, "1"},
        {"CR LF line ends", "[a]\r\nk=0\r\n[s]\r\nk=C:\\x y\r\n", "s", "k", 150, "C:\\x y"},
        {"no line end at the end", "[s]\nk=last", "s", "k", 150, "last"},
        {"empty file", "", "s", "k", 150, "Unknown"},
        {"149 characters fit in 150", "[s]\nk=" + path149 + "\n", "s", "k", 150, path149},
        {"150 characters cut to 149", "[s]\nk=" + path149 + "b\n", "s", "k", 150, path149},
        {"151 characters cut to 149", "[s]\nk=" + path149 + "bc\n", "s", "k", 150, path149},
        {"199 characters fit in 200", "[s]\nk=" + repeat("f", 199) + "\n", "s", "k", 200,
         repeat("f", 199)},
        {"201 characters cut to 199", "[s]\nk=" + repeat("f", 201) + "\n", "s", "k", 200,
         repeat("f", 199)},
        {"cut counts characters, not bytes", "[s]\nk=" + repeat("\xC3\xA9", 150) + "\n", "s", "k",
         150, repeat("\xC3\xA9", 149)},
        {"two-byte character as the 149th fits", "[s]\nk=" + repeat("a", 148) + "\xC3\xA9z\n", "s",
         "k", 150, repeat("a", 148) + "\xC3\xA9"},
        {"character past the limit dropped whole", "[s]\nk=" + path149 + "\xE2\x82\xAC\n", "s", "k",
         150, path149},
        {"four-byte character at the limit", "[s]\nk=" + repeat("a", 148) + "\xF0\x9F\x98\x80!\n",
         "s", "k", 150, repeat("a", 148) + "\xF0\x9F\x98\x80"},
        {"quotes removed before the cut", "[s]\nk=\"" + repeat("q", 160) + "\"\n", "s", "k", 150,
         repeat("q", 149)},
        {"size 1 holds nothing", "[s]\nk=abc\n", "s", "k", 1, ""},
        {"size 0 holds nothing", "[s]\nk=abc\n", "s", "k", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path("case.ini");
        put(file, c.content);
        EXPECT_EQ(IniFile::getString(c.section, c.key, "Unknown", c.size, file), c.expected);
    }
}

TEST_F(IniFileTest, DefaultIsCutAndLosesTrailingBlanks) {
    const std::string missing = path("missing.ini");
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 150, missing), "Unknown");
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 4, missing), "Unk");
    EXPECT_EQ(IniFile::getString("s", "k", "none  ", 150, missing), "none");
    EXPECT_EQ(IniFile::getString("s", "k", repeat("\xC3\xA9", 10), 5, missing),
              repeat("\xC3\xA9", 4));
    // A folder in place of the file reads as missing.
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 150, dir_.path().toStdString()), "Unknown");
}

TEST_F(IniFileTest, SurvivesGarbageAndLongLines) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 131 + 7) % 256);
    garbage += bytes("\0[\xFF]\r\r\n=\n[\n]\n\xC3\n");
    const std::string file = path("garbage.ini");

    put(file, garbage);
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 150, file), "Unknown");

    // Entries after the garbage and after a megabyte-long line are still found.
    put(file, garbage + "\n[s]\n" + repeat("x", 1 << 20) + "\nk=found\n" +
                  "l=" + repeat("\xE2\x82\xAC", 1 << 16) + "\n");
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 150, file), "found");
    EXPECT_EQ(IniFile::getString("s", "l", "Unknown", 200, file), repeat("\xE2\x82\xAC", 199));

    // Malformed UTF-8 counts byte by byte and is handed back unchanged.
    put(file, "[s]\nk=\xC3\xC3\xE2\x82\n");
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 3, file), "\xC3\xC3");
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 150, file), "\xC3\xC3\xE2\x82");

    EXPECT_TRUE(IniFile::writeString("s", "k", "fixed", file));
    EXPECT_EQ(IniFile::getString("s", "k", "Unknown", 150, file), "fixed");
}

TEST_F(IniFileTest, WriteCreatesTheFileWithSectionAndKey) {
    const std::string file = path("Korvalt.ini");
    ASSERT_TRUE(IniFile::writeString("db_address", "dbaddress", "/data/pipe.mdb", file));
    EXPECT_EQ(get(file), "[db_address]\ndbaddress=/data/pipe.mdb\n");
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"Korvalt.ini"});
}

TEST_F(IniFileTest, WriteKeepsEveryOtherByte) {
    struct WriteCase {
        const char* name;
        std::string before;
        std::string section;
        std::string key;
        std::string value;
        std::string after;
    };
    const std::vector<WriteCase> cases = {
        {"replaces only the value, keeping the key's spelling",
         "; settings\n[Other]\ndbaddress=keep\n\n[DB_Address]\n  DBAddress = old value\n"
         "odd line\ndbaddress=second\n[tail]\nx=1",
         "db_address", "dbaddress", "new",
         "; settings\n[Other]\ndbaddress=keep\n\n[DB_Address]\n  DBAddress =new\n"
         "odd line\ndbaddress=second\n[tail]\nx=1"},
        {"adds a missing key after the section's last entry", "[s]\na=1\n;note\n\n\n[t]\nb=2\n",
         "s", "k", "v", "[s]\na=1\n;note\nk=v\n\n\n[t]\nb=2\n"},
        {"adds a key to an empty section at the end of a file without line end", "[a]\nx=1\n[s]",
         "s", "k", "v", "[a]\nx=1\n[s]\nk=v\n"},
        {"adds the key to the first of duplicated sections", "[s]\na=1\n[s]\nk=old\n", "s", "k",
         "v", "[s]\na=1\nk=v\n[s]\nk=old\n"},
        {"appends a missing section", "[a]\nx=1\n", "db_address", "dbaddress", "/p",
         "[a]\nx=1\n[db_address]\ndbaddress=/p\n"},
        {"appends a section after a last line without line end", "[a]\nx=1", "s", "k", "v",
         "[a]\nx=1\n[s]\nk=v\n"},
        {"keeps CR LF", "[a]\r\nx=1\r\n[s]\r\nk=old\r\n", "s", "k", "new",
         "[a]\r\nx=1\r\n[s]\r\nk=new\r\n"},
        {"new lines follow CR LF", "[a]\r\nx=1", "s", "k", "v", "[a]\r\nx=1\r\n[s]\r\nk=v\r\n"},
        {"keeps the byte-order mark", "\xEF\xBB\xBF[s]\nk=old\n", "s", "k", "new",
         "\xEF\xBB\xBF[s]\nk=new\n"},
        {"comment is not taken for the key", "[s]\n;k=old\n", "s", "k", "v", "[s]\n;k=old\nk=v\n"},
        {"empty value", "[s]\nk=old\n", "s", "k", "", "[s]\nk=\n"},
        {"garbage kept", bytes("\x01\xFF\0junk\n[s]\nk=1\n"), "s", "k", "2",
         bytes("\x01\xFF\0junk\n[s]\nk=2\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path("write.ini");
        put(file, c.before);
        ASSERT_TRUE(IniFile::writeString(c.section, c.key, c.value, file));
        EXPECT_EQ(get(file), c.after);
        EXPECT_EQ(IniFile::getString(c.section, c.key, "Unknown", 300, file), c.value);
        // Writing the same value again changes nothing.
        ASSERT_TRUE(IniFile::writeString(c.section, c.key, c.value, file));
        EXPECT_EQ(get(file), c.after);
    }
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"write.ini"});
}

TEST_F(IniFileTest, WrittenValuesReadBack) {
    const std::string file = path("round.ini");
    const std::vector<std::string> values = {"/home/user/pipe db/Plant Ø1.mdb", "Unknown", "a=b;c",
                                             "'quoted'", repeat("\xE2\x82\xAC", 149)};
    for (const auto& value : values) {
        ASSERT_TRUE(IniFile::writeString("Korvalt_Address", "KorvaltAddress", value, file));
        EXPECT_EQ(IniFile::getString("korvalt_address", "korvaltaddress", "Unknown", 200, file),
                  value == "'quoted'" ? "quoted" : value);
    }
    EXPECT_TRUE(IniFile::writeString("other", "k", "1", file));
    EXPECT_EQ(IniFile::getString("Korvalt_Address", "KorvaltAddress", "Unknown", 200, file),
              values.back());
}

TEST_F(IniFileTest, RefusesWhatCannotBeStoredOnOneLine) {
    const std::string file = path("refuse.ini");
    put(file, "[s]\nk=old\n");
    EXPECT_FALSE(IniFile::writeString("s", "k", "two\nlines", file));
    EXPECT_FALSE(IniFile::writeString("s", "k", "cr\rhere", file));
    EXPECT_FALSE(IniFile::writeString("s\n[t]", "k", "v", file));
    EXPECT_FALSE(IniFile::writeString("s", "a=b", "v", file));
    EXPECT_FALSE(IniFile::writeString("s", ";k", "v", file));
    EXPECT_FALSE(IniFile::writeString("  ", "k", "v", file));
    EXPECT_FALSE(IniFile::writeString("s", "", "v", file));
    EXPECT_EQ(get(file), "[s]\nk=old\n");
}

TEST_F(IniFileTest, FailedWritesReturnFalseAndLeaveTheOldFile) {
    // The folder does not exist, or is a file.
    EXPECT_FALSE(IniFile::writeString("s", "k", "v", path("no-such-folder/a.ini")));
    put(path("plain"), "x");
    EXPECT_FALSE(IniFile::writeString("s", "k", "v", path("plain/a.ini")));

    // A folder stands where the file should go.
    fs::create_directory(path("folder.ini"));
    EXPECT_FALSE(IniFile::writeString("s", "k", "v", path("folder.ini")));
    EXPECT_TRUE(fs::is_directory(path("folder.ini")));

    // The file exists, but no temporary file can be made beside it (its
    // name leaves no room for the temporary suffix).
    const std::string longName = path(repeat("n", 250));
    put(longName, "[s]\r\nk=old\r\n");
    EXPECT_FALSE(IniFile::writeString("s", "k", "new", longName));
    EXPECT_EQ(get(longName), "[s]\r\nk=old\r\n");

    std::vector<std::string> left = dirEntries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"folder.ini", repeat("n", 250), "plain"}));
}

TEST_F(IniFileTest, ReadOnlyFolderReturnsFalseAndLeavesTheOldFile) {
    const std::string folder = path("locked");
    fs::create_directory(folder);
    const std::string file = folder + "/Korvalt.ini";
    put(file, "[db_address]\ndbaddress=/old.mdb\n");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const bool folderStillWritable = access(folder.c_str(), W_OK) == 0;
    if (!folderStillWritable) {
        EXPECT_FALSE(IniFile::writeString("db_address", "dbaddress", "/new.mdb", file));
        EXPECT_EQ(get(file), "[db_address]\ndbaddress=/old.mdb\n");
    }
    fs::permissions(folder, fs::perms::owner_all);
    if (folderStillWritable)
        GTEST_SKIP() << "permissions do not bind this user";
}

} // namespace
} // namespace korvalt
