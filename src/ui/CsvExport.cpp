#include "ui/CsvExport.h"

#include "database/EngineError.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <map>

namespace korvalt {

namespace {
constexpr const char* kCrLf = "\r\n";

const std::vector<const char*>& searchHeadings() {
    static const std::vector<const char*> columns = {"Drawing Name",
                                                     "Long Description",
                                                     "Line Number",
                                                     "Specification",
                                                     "Part Code",
                                                     "Size",
                                                     "Main",
                                                     "Red",
                                                     "Tag",
                                                     "Length",
                                                     "Short Description"};
    return columns;
}
} // namespace

const std::vector<const char*>& CsvExport::headings(std::int16_t layout) {
    static const std::map<std::int16_t, std::vector<const char*>> table = {
        {7, {"Drawing", "Description", "Line Number", "Size", "Tag"}},
        {21, {"Drawing", "Description", "Line Number", "Size", "Tag"}},
        {11,
         {"Model Tag", "Drawing", "Line Number", "Long Description", "Short Description", "Size"}},
        {20, {"Line Number"}},
        {22, {"Drawing Number"}},
    };
    const auto found = table.find(layout);
    // Layouts 1 and 18 show the same eleven columns.
    return found != table.end() ? found->second : searchHeadings();
}

std::string CsvExport::quote(const std::string& value) {
    std::string field = "\"";
    for (const char c : value) {
        if (c == '"')
            field += '"';
        field += c;
    }
    field += '"';
    return field;
}

std::string CsvExport::render(const std::string& title, std::int16_t layout, int rowCount,
                              const CellReader& cell) {
    const std::vector<const char*>& columns = headings(layout);
    std::string text = quote(title) + kCrLf + "\"\"" + kCrLf;
    for (std::size_t c = 0; c < columns.size(); ++c)
        text += (c ? "," : "") + quote(columns[c]);
    text += kCrLf;
    for (int position = 0; position < rowCount; ++position) {
        for (std::size_t c = 0; c < columns.size(); ++c)
            text += (c ? "," : "") + quote(cell(position, static_cast<int>(c)));
        text += kCrLf;
    }
    return text;
}

void CsvExport::writeFile(const std::string& path, const std::string& content) {
    QSaveFile file(QString::fromStdString(path));
    const auto fail = [&](const QString& why) {
        file.cancelWriting();
        throw EngineError(75, "Path/File access error: '" + path + "' could not be written (" +
                                  why.toStdString() + ").");
    };
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    const auto size = static_cast<qint64>(content.size());
    if (file.write(content.data(), size) != size)
        fail(file.errorString());
    // The write above may only have filled the file's buffer. A write of the
    // buffer that fails part-way (a full disk) is not seen by commit(), which
    // would then put the truncated file in place of the old one.
    if (!file.flush())
        fail(file.errorString());
    if (!file.commit())
        fail(file.errorString());
}

} // namespace korvalt
