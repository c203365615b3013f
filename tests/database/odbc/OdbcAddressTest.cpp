#include "database/Database.h"
#include "database/EngineError.h"

#include <gtest/gtest.h>

#include <string>

namespace korvalt {
namespace {

struct AddressCase {
    const char* address;
    bool connection;
    const char* shown; // as HidePassword gives it
};

TEST(OdbcAddress, ConnectionStringsAreToldFromPathsAndShownWithoutPassword) {
    const AddressCase cases[] = {
        {"DSN=Plant", true, "DSN=Plant"},
        {"dsn=Plant;UID=ann;PWD=s3cret", true, "dsn=Plant;UID=ann;PWD=***"},
        {"Dsn=Plant;pwd=s3cret;Database=x", true, "Dsn=Plant;pwd=***;Database=x"},
        {"DRIVER={PostgreSQL Unicode};SERVER=db;PASSWORD=s3cret;", true,
         "DRIVER={PostgreSQL Unicode};SERVER=db;PASSWORD=***;"},
        {"Driver={SQL Server};Pwd={se;cr}}et};UID=x", true, "Driver={SQL Server};Pwd={***};UID=x"},
        {"driver=x; PWD =s3cret", true, "driver=x; PWD =***"},
        {"DSN=a;PWD=one;PASSWORD=two", true, "DSN=a;PWD=***;PASSWORD=***"},
        // PWDX and XPWD are other attributes; an empty password stays empty.
        {"DSN=a;PWDX=kept;XPWD=kept;PWD=", true, "DSN=a;PWDX=kept;XPWD=kept;PWD=***"},
        {"DSN=", true, "DSN="},
        {"DSN=a;PWD={unclosed;UID=x", true, "DSN=a;PWD={***"},
        // Paths, however they look, are shown as they are.
        {"/data/DSN=Plant/pipe.mdb", false, "/data/DSN=Plant/pipe.mdb"},
        {"C:\\Plant\\DRIVER=x.mdb", false, "C:\\Plant\\DRIVER=x.mdb"},
        {" DSN=Plant", false, " DSN=Plant"},
        {"DSN Plant;PWD=x", false, "DSN Plant;PWD=x"},
        {"DRIVE=x;PWD=y", false, "DRIVE=x;PWD=y"},
        {"pipe.mdb", false, "pipe.mdb"},
        {"", false, ""},
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(IsConnectionString(c.address), c.connection);
        EXPECT_EQ(HidePassword(c.address), c.shown);
    }
}

TEST(OdbcAddress, APathThatLooksLikeAnAttributeIsStillOpenedAsAFile) {
    try {
        OpenDatabase("/nonexistent-folder/DSN=Plant.mdb");
        ADD_FAILURE() << "opened";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), engine_errors::kInvalidPath) << e.description();
    }
}

} // namespace
} // namespace korvalt
