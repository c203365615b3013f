// Deletes every Pipe record of one drawing through the program's own
// engine, exactly as the delete command does. The interrupted-delete tests
// run it as a child process and kill it at random moments.
//
// usage: korvalt-delete-drawing <database> <drawing>

#include "database/Database.h"
#include "database/EngineError.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvalt-delete-drawing <database> <drawing>\n");
        return 2;
    }
    try {
        const auto database = korvalt::OpenDatabase(argv[1]);
        std::printf("opened\n");
        std::fflush(stdout);
        database->execute(std::string("DELETE FROM pipe WHERE DWG_NAME = \"") + argv[2] + "\"");
        std::printf("deleted\n");
        return 0;
    } catch (const korvalt::EngineError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.number(), e.description().c_str());
        return 1;
    }
}
