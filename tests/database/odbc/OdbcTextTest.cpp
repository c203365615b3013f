#include "database/Database.h"
#include "database/EngineError.h"
#include "database/odbc/OdbcText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvalt {
namespace {

using odbc::WideString;

TEST(OdbcText, ConnectionStringsAreToldFromPathsAndShownWithoutPassword) {
    const struct {
        const char* address;
        bool connection;
        const char* shown;
        std::vector<std::string> passwords;
    } cases[] = {
        {"DSN=Plant", true, "DSN=Plant", {}},
        {"dsn=Plant;UID=ann;PWD=s3cret", true, "dsn=Plant;UID=ann;PWD=***", {"s3cret"}},
        {"Dsn=P;pwd=s3cret;Database=x", true, "Dsn=P;pwd=***;Database=x", {"s3cret"}},
        {"DRIVER={PG};SERVER=db;PASSWORD=s3;", true, "DRIVER={PG};SERVER=db;PASSWORD=***;", {"s3"}},
        {"Driver={SQL};Pwd={se;cr}}et};UID=x", true, "Driver={SQL};Pwd={***};UID=x", {"se;cr}et"}},
        {"driver=x; PWD = {a}}b}}}", true, "driver=x; PWD = {***}", {"a}b}"}},
        // A doubled brace at the very end of a value that is never closed.
        {"DSN=a;PWD={x}}", true, "DSN=a;PWD={***", {"x}"}},
        {"DSN=a;PWD={unclosed;UID=x", true, "DSN=a;PWD={***", {"unclosed;UID=x"}},
        {"DSN=a;PWD=one;PASSWORD=two", true, "DSN=a;PWD=***;PASSWORD=***", {"one", "two"}},
        // PWDX and XPWD are other attributes; an empty password stays empty.
        {"DSN=a;PWDX=k;XPWD=k;PWD=", true, "DSN=a;PWDX=k;XPWD=k;PWD=***", {}},
        {"DSN=", true, "DSN=", {}},
        // Paths, however they look, are shown as they are.
        {"/data/DSN=Plant/pipe.mdb", false, "/data/DSN=Plant/pipe.mdb", {}},
        {" DSN=Plant", false, " DSN=Plant", {}},
        {"DSN Plant;PWD=x", false, "DSN Plant;PWD=x", {"x"}},
        {"DRIVE=x;PWD=y", false, "DRIVE=x;PWD=y", {"y"}},
        {"", false, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(IsConnectionString(c.address), c.connection);
        EXPECT_EQ(HidePassword(c.address), c.shown);
        EXPECT_EQ(odbc::passwordsIn(c.address), c.passwords);
    }
    EXPECT_EQ(odbc::withoutPasswords("pw: no pw*, pw", {"pw*", "pw"}), "***: no ***, ***");
    EXPECT_THROW(OpenDatabase("/nonexistent-folder/DSN=Plant.mdb"), EngineError);
}

// UTF-8 <-> UTF-16 as the wide ODBC calls need it: pairs for the characters
// beyond the first 65,536, at either end of a text; what is no character
// becomes U+FFFD.
TEST(OdbcText, TextCrossesToUtf16AndBack) {
    const struct {
        std::string utf8;
        WideString wide;
        std::string back; // what the wide text turns into
    } cases[] = {
        {"", {}, ""},
        {"\x7F\xC2\x80\xEF\xBF\xBF", {0x7F, 0x80, 0xFFFF}, "\x7F\xC2\x80\xEF\xBF\xBF"},
        {"\xF0\x90\x80\x80", {0xD800, 0xDC00}, "\xF0\x90\x80\x80"},
        {"\xF4\x8F\xBF\xBF"
         "a\xF0\x9F\x98\x80",
         {0xDBFF, 0xDFFF, 'a', 0xD83D, 0xDE00},
         "\xF4\x8F\xBF\xBF"
         "a\xF0\x9F\x98\x80"},
        {"x\xFF"
         "y\xED\xA0\x80",
         {'x', 0xFFFD, 'y', 0xFFFD, 0xFFFD, 0xFFFD},
         "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(odbc::toWide(c.utf8), c.wide);
        EXPECT_EQ(odbc::fromWide(c.wide.data(), c.wide.size()), c.back);
    }
    // Halves without their partner, at the start, inside and at the end.
    const std::string bad = "\xEF\xBF\xBD";
    const struct {
        WideString wide;
        std::string utf8;
    } halves[] = {
        {{0xDC00, 'a'}, bad + "a"},
        {{'a', 0xD83D}, "a" + bad},
        {{0xD83D, 'b', 0xDE00}, bad + "b" + bad},
        {{0xDBFF, 0xDBFF, 0xDFFF, 0xE000}, bad + "\xF4\x8F\xBF\xBF\xEE\x80\x80"},
    };
    for (const auto& h : halves) {
        SCOPED_TRACE(h.utf8);
        std::string out = "kept";
        odbc::appendFromWide(h.wide.data(), h.wide.size(), out);
        EXPECT_EQ(out, "kept" + h.utf8);
    }
    // The length given counts, not a terminator.
    const WideString ab = {'a', 0xD83D, 0xDE00};
    EXPECT_EQ(odbc::fromWide(ab.data(), 2), "a" + bad);
}

} // namespace
} // namespace korvalt
