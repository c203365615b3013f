#include "database/Database.h"
#include "database/EngineError.h"
#include "support/PgServer.h"

#include <gtest/gtest.h>

#include <string>

namespace korvalt {
namespace {

// Attributes every address below carries; no message may repeat them.
const std::string kSecrets = ";PWD={s3cr;et-1};PASSWORD=s3cret-2";

void expectFailure(const std::string& address, int number, const std::string& mentions = {}) {
    SCOPED_TRACE(HidePassword(address));
    try {
        OpenDatabase(address);
        ADD_FAILURE() << "connected";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), number) << e.description();
        EXPECT_EQ(e.description().find("s3cr"), std::string::npos) << e.description();
        EXPECT_NE(e.description().find("SQLSTATE"), std::string::npos) << e.description();
        EXPECT_NE(e.description().find(mentions), std::string::npos) << e.description();
    }
}

// What the gateway needs to tell apart: an address that names nothing or a
// server out of reach (the location window) from other failures.
TEST(OdbcErrors, AnAddressThatReachesNoServerIsAWrongLocation) {
    expectFailure("DSN=KorvaltNoSuchSource" + kSecrets, engine_errors::kInvalidPath, "IM002");
    expectFailure("dsn=KorvaltNoSuchSource" + kSecrets, engine_errors::kInvalidPath);
    expectFailure("DRIVER={Korvalt No Such Driver};SERVER=127.0.0.1" + kSecrets,
                  engine_errors::kInvalidPath);
    const int port = test_support::freeLoopbackPort();
    expectFailure("DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=" + std::to_string(port) +
                      ";DATABASE=postgres;UID=postgres;CommLog=0" + kSecrets,
                  engine_errors::kFileNotFound, "08001");
}

TEST(OdbcErrors, ADatabaseMissingOnTheServerIsAWrongLocation) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    expectFailure(server->connectionStringWith("DATABASE=korvalt_no_such_db" + kSecrets),
                  engine_errors::kFileNotFound);
}

} // namespace
} // namespace korvalt
