#include "app/DeleteCli.h"
#include "support/MainWindowFixture.h"
#include "support/PgServer.h"
#include "ui/frmTaviDatabase.h"

#include <QLineEdit>

#include <sstream>

namespace korvalt::testing {
namespace {

// A server's address carries its password, which the program needs to
// connect; neither the window nor the delete tool may show it.
class ServerAddressTest : public MainWindowFixture {};

TEST_F(ServerAddressTest, TheWindowAndTheDeleteToolShowItHidden) {
    KORVALT_PG_SERVER_OR_SKIP(server);
    const std::string address = server->connectionStringWith("PWD={se;cret}");
    const std::string shown = server->connectionStringWith("PWD={***}");

    startOn(address);
    EXPECT_EQ(window->txtDatabase->text().toStdString(), shown);

    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(DeleteCli::run({"--database", address, "--drawing", "NOSUCH.dwg"}, in, out, err), 1);
    EXPECT_EQ(err.str(), "korvalt-delete: " + shown +
                             " holds no records of NOSUCH.dwg. Nothing was deleted.\n");
    EXPECT_EQ(out.str(), "");
}

} // namespace
} // namespace korvalt::testing
