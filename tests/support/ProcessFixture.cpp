#include "support/ProcessFixture.h"

#include "database/PipeSchema.h"
#include "startup/Module1.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <sqlite3.h>

#include <algorithm>
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

std::vector<std::string> ProcessFixture::words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

std::string ProcessFixture::shape(const std::string& text) {
    std::size_t lines = 0, widest = 0, start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1, ++lines)
        widest = std::max(widest, end - start);
    return std::to_string(lines) + " lines, " + std::to_string(text.size()) +
           " characters, widest " + std::to_string(widest) +
           (start == text.size() ? "" : ", unfinished");
}

std::string ProcessFixture::layout(const QWidget& window) {
    std::string out;
    QList<const QWidget*> widgets = {&window};
    for (const QWidget* child : window.findChildren<QWidget*>())
        widgets.append(child);
    for (const QWidget* w : widgets) {
        const QRect r = w->geometry();
        out += std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
               std::to_string(r.width()) + "x" + std::to_string(r.height()) + " " +
               std::to_string(w->font().pointSize()) + (w->font().bold() ? "b" : "");
        if (const auto* label = qobject_cast<const QLabel*>(w))
            out += " a" + std::to_string(label->alignment().toInt());
        out += ";";
    }
    return out;
}

} // namespace korvalt::testing
