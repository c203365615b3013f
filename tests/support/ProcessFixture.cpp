#include "support/ProcessFixture.h"

#include "database/PipeSchema.h"
#include "startup/Module1.h"

#include <QCoreApplication>
#include <QEvent>
#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvalt::testing {

void ProcessFixture::SetUp() {
    ResetProcessState();
    flushDeletes();
    SetToolkit(&fake);
    ASSERT_TRUE(dir.isValid());
}

void ProcessFixture::TearDown() {
    ResetProcessState();
    flushDeletes();
    SetToolkit(nullptr);
}

void ProcessFixture::flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::string ProcessFixture::tempPath(const std::string& name) const {
    return dir.path().toStdString() + "/" + name;
}

std::string ProcessFixture::writeFile(const std::string& name, const std::string& content) const {
    const std::string path = tempPath(name);
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

std::string ProcessFixture::readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ProcessFixture::makePipeDatabase(const std::string& name, int records) const {
    const std::string path = tempPath(name);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot create test database");
    std::string sql = std::string(pipe_schema::kCreatePipeTable) + ";";
    for (int i = 1; i <= records; ++i) {
        sql += "INSERT INTO Pipe VALUES('AREA" + std::to_string(i % 2 + 1) +
               ".dwg','PIPE A106','L-" + std::to_string(i) + "','CS150','PIP1','4',4,0,'T-" +
               std::to_string(i) + "',100,'PIPE'," + std::to_string(i) + ");";
    }
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot fill test database");
    return path;
}

} // namespace korvalt::testing
