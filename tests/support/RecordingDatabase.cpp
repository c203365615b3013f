#include "support/RecordingDatabase.h"

namespace korvalt::testing {

RecordingDatabase::RecordingDatabase(std::unique_ptr<Database> inner) : m_inner(std::move(inner)) {}

void RecordingDatabase::execute(const std::string& sql) {
    executed.push_back(sql);
    m_inner->execute(sql);
}

std::unique_ptr<Recordset> RecordingDatabase::openRecordset(const std::string& sql) {
    queried.push_back(sql);
    return m_inner->openRecordset(sql);
}

const std::string& RecordingDatabase::path() const {
    return m_inner->path();
}

} // namespace korvalt::testing
