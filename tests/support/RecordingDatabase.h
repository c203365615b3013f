#pragma once

#include "database/Database.h"

#include <memory>
#include <string>
#include <vector>

namespace korvalt::testing {

// Passes every call on to a real database and keeps the statements, so a
// test can see exactly what a command sent.
class RecordingDatabase : public Database {
public:
    explicit RecordingDatabase(std::unique_ptr<Database> inner);

    void execute(const std::string& sql) override;
    std::unique_ptr<Recordset> openRecordset(const std::string& sql) override;
    const std::string& path() const override;

    std::vector<std::string> executed;
    std::vector<std::string> queried;

private:
    std::unique_ptr<Database> m_inner;
};

} // namespace korvalt::testing
