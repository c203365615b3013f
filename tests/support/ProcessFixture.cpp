#include "support/ProcessFixture.h"

#include "startup/Module1.h"
#include "support/PipeCsv.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include <algorithm>
#include <fstream>
#include <sstream>

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
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= records; ++i) {
        const auto text = [i](const std::string& s) { return Value::text(s + std::to_string(i)); };
        rows.push_back({Value::text("AREA" + std::to_string(i % 2 + 1) + ".dwg"),
                        Value::text("PIPE A106"), text("L-"), Value::text("CS150"),
                        Value::text("PIP1"), Value::text("4"), Value::real(4), Value::real(0),
                        text("T-"), Value::real(100), Value::text("PIPE"), Value::integer(i)});
    }
    test_support::writePipeSqlite(tempPath(name), rows);
    return tempPath(name);
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
    for (const QWidget* w :
         QList<const QWidget*>{&window} + window.findChildren<const QWidget*>()) {
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
